#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <optional>

// What tells a user which program owns a port, beyond the kernel's command name: the whole
// program name, the systemd unit or the container it runs in, and where a container
// runtime's port proxy forwards to. Everything here comes from files that other processes
// shape (their command lines, their cgroup paths), so every reader is bounded and every
// odd byte, overlong line or vanished process gives no fact rather than a wrong one.
namespace OwnerFacts {

// The kernel keeps this many bytes of a command name (TASK_COMM_LEN less its terminator).
inline constexpr qsizetype commandNameLimit = 15;

// The program name that the kernel cut to commandName, or commandName itself when it is
// shorter than the cut. A cut name is completed from the first argument of commandLine (as
// /proc/<pid>/cmdline has it, arguments ended by NUL bytes) or from the executable's path
// (a " (deleted)" suffix ignored): the first of the argument, the part of it after any '/'
// and the executable's base name that begins with commandName. A program that set its own
// title ("gunicorn: worker [app]") is found by the whole argument. Empty when none fits;
// at most NAME_MAX bytes.
QByteArray wholeProgramName(QByteArrayView commandName, QByteArrayView commandLine,
                            QByteArrayView executable);

// Where a process sits, from its /proc/<pid>/cgroup text.
struct CgroupPlace
{
    // The systemd service (system or user) the process belongs to, as systemctl names it:
    // "nginx.service", "app-foo@bar.service". Scopes (login sessions, terminals, init) are
    // not named: they say nothing about the program that a user would manage.
    QString unit;
    // Whether unit is one of a user's service manager (below "user@UID.service"), not the
    // system's.
    bool userUnit = false;
    // The short (12-digit) id of the container the process runs in.
    QString container;

    friend bool operator==(const CgroupPlace&, const CgroupPlace&) = default;
};
// Reads the unified hierarchy's line ("0::/path"), else the systemd one of cgroup v1
// ("1:name=systemd:/path"), else the first controller's. A container is a path component
// holding a 64-digit hex id, alone ("/docker/<id>", "/kubepods/.../<id>") or after a
// runtime's prefix and before an optional ".scope" ("docker-<id>.scope", "libpod-<id>.scope",
// "cri-containerd-<id>.scope", "crio-<id>.scope"); a runtime's monitor beside a container
// ("libpod-conmon-<id>.scope") is named by that container. The outermost one is taken: that
// is the container the engine on this machine knows. The unit is the innermost service above
// it.
CgroupPlace parseCgroup(QByteArrayView cgroupFile);

// The one port proxy whose command line says where it forwards: Docker's. (Podman's
// rootlessport is told on a pipe; its monitor, conmon, is named by its cgroup.)
inline constexpr QByteArrayView proxyCommandName = "docker-proxy";

// Where a container runtime's port proxy forwards its port to.
struct ProxyTarget
{
    QString address; // as the proxy was told it: "172.17.0.2", "fd00::2"
    quint16 port = 0;

    // "172.17.0.2:80", "[fd00::2]:80".
    QString text() const;
    friend bool operator==(const ProxyTarget&, const ProxyTarget&) = default;
};
// The target in a proxy's command line (NUL-separated, as /proc/<pid>/cmdline has it), as
// docker-proxy is given it: "-container-ip 172.17.0.2 -container-port 80". Either dash
// form, with the value as the next argument or after '='. Nothing when either is missing
// or malformed.
std::optional<ProxyTarget> parseProxyCommandLine(QByteArrayView commandLine);

// What the files of one process tell; empty fields where they tell nothing.
struct Facts
{
    QString program; // the whole program name, printable (see escapeCommandName)
    CgroupPlace place;
    std::optional<ProxyTarget> proxy;
};

// Reads the facts of the process whose /proc folder is processPath (relative to dirFd:
// "1234" under /proc, or ".." under its fd folder), known by its raw command name.
// Reads its cgroup (a bounded prefix) and, for a cut name or a proxy, its cmdline (the first
// argument whole, up to the longest exec passes, and what else fits a bound: never part of an
// argument) and, for a cut name, its exe link.
Facts read(int dirFd, const char* processPath, QByteArrayView commandName);

} // namespace OwnerFacts
