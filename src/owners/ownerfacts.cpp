#include "ownerfacts.h"

#include "commandname.h"
#include "procfiles.h"

#include <QList>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace OwnerFacts {

namespace {

// A file base name is at most this long, and so is any program name worth showing.
constexpr qsizetype maxProgramBytes = NAME_MAX;
// Enough of a command line for a proxy's options; the rest (a proxy lists nothing else that
// matters) is never read.
constexpr qsizetype maxCommandLineBytes = 8192;
// The first argument is read whole, however deep its path, up to the longest one exec
// passes (MAX_ARG_STRLEN with 4 KiB pages). A longer one is a title written over the
// arguments, and tells nothing.
constexpr qsizetype maxFirstArgumentBytes = 32 * 4096;
// A cgroup file of a few hierarchies with deep paths fits many times over; a longer one is
// nothing the kernel writes, and is not looked at.
constexpr qsizetype maxCgroupBytes = 16384;
constexpr int idDigits = 64;
constexpr int shortIdDigits = 12;

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

// The id of a container's cgroup, "<id>" or "<runtime>-<id>[.scope]", or empty.
QByteArrayView containerId(QByteArrayView component)
{
    if (component.endsWith(".scope"))
        component.chop(6);
    if (component.size() < idDigits)
        return {};
    const QByteArrayView id = component.last(idDigits);
    for (const char c : id) {
        if (!isHexDigit(c))
            return {};
    }
    if (component.size() == idDigits)
        return id;
    // A runtime's monitor ("libpod-conmon-<id>") sits beside its container and keeps the
    // container's ports for it: it too is named by the container's id.
    return component[component.size() - idDigits - 1] == '-' ? id : QByteArrayView();
}

// Whether text is a systemd service's name: the characters systemd allows in unit names
// (its escapes included), so it shows exactly as systemctl takes it.
bool isServiceName(QByteArrayView text)
{
    static constexpr qsizetype maxUnitName = 255;
    if (text.size() <= qsizetype(sizeof ".service") - 1 || text.size() > maxUnitName ||
        !text.endsWith(".service"))
        return false;
    for (const char c : text) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                             (c >= '0' && c <= '9') || c == ':' || c == '-' || c == '_' ||
                             c == '.' || c == '\\' || c == '@';
        if (!allowed)
            return false;
    }
    return true;
}

bool isAddressCharacter(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == '.' ||
           c == ':';
}

// A command line's first argument and the whole arguments after it that fit in
// maxCommandLineBytes: an argument that the bound cuts is left out, the first one too, so
// that no name or option comes from part of one. Empty for a process that is gone or not
// ours to read.
QByteArray readCommandLine(int dirFd, const char* path)
{
    const ProcFiles::Fd fd(::openat(dirFd, path, O_RDONLY | O_CLOEXEC));
    if (!fd.isValid())
        return {};
    QByteArray out(maxCommandLineBytes, Qt::Uninitialized);
    qsizetype used = 0;
    bool whole = false;
    for (;;) {
        if (used == out.size()) {
            if (out.size() > maxFirstArgumentBytes ||
                std::memchr(out.constData(), '\0', size_t(used)))
                break;
            out.resize(std::min(2 * out.size(), maxFirstArgumentBytes + 1));
        }
        const ssize_t n = ::read(fd.get(), out.data() + used, size_t(out.size() - used));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return {};
        if (n == 0) {
            whole = true;
            break;
        }
        used += n;
    }
    out.truncate(whole ? used : out.lastIndexOf('\0', used - 1) + 1);
    return out;
}

} // namespace

QByteArray wholeProgramName(QByteArrayView commandName, QByteArrayView commandLine,
                            QByteArrayView executable)
{
    if (commandName.isEmpty())
        return {};
    if (commandName.size() < commandNameLimit)
        return commandName.toByteArray();
    const auto fits = [&](QByteArrayView candidate) {
        return candidate.size() <= maxProgramBytes && candidate.startsWith(commandName);
    };
    const qsizetype end = commandLine.indexOf('\0');
    const QByteArrayView first = end < 0 ? commandLine : commandLine.first(end);
    for (qsizetype from = 0; from >= 0 && from < first.size();) {
        const QByteArrayView candidate = first.sliced(from);
        if (fits(candidate))
            return candidate.toByteArray();
        const qsizetype slash = candidate.indexOf('/');
        from = slash < 0 ? -1 : from + slash + 1;
    }
    if (executable.endsWith(" (deleted)"))
        executable.chop(10);
    const QByteArrayView base = executable.sliced(executable.lastIndexOf('/') + 1);
    if (fits(base))
        return base.toByteArray();
    return {};
}

CgroupPlace parseCgroup(QByteArrayView cgroupFile)
{
    // Without a unified or a systemd line (cgroup v1 without systemd), any controller's
    // path still shows a container.
    QByteArrayView path, anyPath;
    bool unified = false;
    while (!cgroupFile.isEmpty() && !unified) {
        const qsizetype newline = cgroupFile.indexOf('\n');
        const QByteArrayView line = newline < 0 ? cgroupFile : cgroupFile.first(newline);
        cgroupFile = newline < 0 ? QByteArrayView() : cgroupFile.sliced(newline + 1);
        // "hierarchy-id:controllers:path"; the path may itself hold colons.
        const qsizetype first = line.indexOf(':');
        const qsizetype second = first < 0 ? -1 : line.indexOf(':', first + 1);
        // The kernel writes absolute paths; anything else is not its line.
        if (second < 0 || !line.sliced(second + 1).startsWith('/'))
            continue;
        const QByteArrayView controllers = line.sliced(first + 1, second - first - 1);
        unified = line.first(first) == "0" && controllers.isEmpty();
        if (unified || controllers == "name=systemd")
            path = line.sliced(second + 1);
        else if (anyPath.isEmpty())
            anyPath = line.sliced(second + 1);
    }
    if (path.isEmpty())
        path = anyPath;

    CgroupPlace place;
    QByteArrayView unit;
    bool belowUserManager = false, userUnit = false;
    while (!path.isEmpty()) {
        const qsizetype slash = path.indexOf('/');
        const QByteArrayView component = slash < 0 ? path : path.first(slash);
        path = slash < 0 ? QByteArrayView() : path.sliced(slash + 1);
        const QByteArrayView id = containerId(component);
        if (!id.isEmpty()) {
            place.container = QString::fromLatin1(id.first(shortIdDigits));
            break;
        }
        // Whatever runs below a scope (a login session, a terminal's child) was not
        // started by the service above it.
        if (component.endsWith(".scope")) {
            unit = {};
        } else if (component.endsWith(".service")) {
            unit = component;
            userUnit = belowUserManager;
            belowUserManager = belowUserManager || component.startsWith("user@");
        }
    }
    if (isServiceName(unit)) {
        place.unit = QString::fromLatin1(unit);
        place.userUnit = userUnit;
    }
    return place;
}

QString ProxyTarget::text() const
{
    const QString host = address.contains(QLatin1Char(':'))
                             ? QLatin1Char('[') + address + QLatin1Char(']')
                             : address;
    return host + QLatin1Char(':') + QString::number(port);
}

std::optional<ProxyTarget> parseProxyCommandLine(QByteArrayView commandLine)
{
    const QList<QByteArray> arguments =
        QByteArray::fromRawData(commandLine.data(), commandLine.size()).split('\0');
    QByteArrayView address, port;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QByteArrayView option = arguments[i];
        if (!option.startsWith('-'))
            continue;
        option = option.sliced(option.startsWith("--") ? 2 : 1);
        QByteArrayView value;
        const qsizetype equals = option.indexOf('=');
        if (equals >= 0) {
            value = option.sliced(equals + 1);
            option.truncate(equals);
        } else if (i + 1 < arguments.size()) {
            value = arguments[i + 1];
        }
        if (option == "container-ip")
            address = value;
        else if (option == "container-port")
            port = value;
    }
    static constexpr qsizetype maxAddressLength = 45; // an IPv4-mapped IPv6 address
    if (address.size() < 2 || address.size() > maxAddressLength ||
        !std::all_of(address.begin(), address.end(), isAddressCharacter) ||
        !(address.contains('.') || address.contains(':')))
        return std::nullopt;
    const auto number = port.size() <= 5 ? ProcFiles::parseUnsigned(port) : std::nullopt;
    if (!number || *number == 0 || *number > 0xffff)
        return std::nullopt;
    return ProxyTarget{QString::fromLatin1(address), quint16(*number)};
}

Facts read(int dirFd, const char* processPath, QByteArrayView commandName)
{
    Facts facts;
    char path[PATH_MAX];
    // The command line tells only where a name was cut, or where a proxy forwards: the
    // other owners' are never read, which keeps a first scan cheap.
    const bool isCut = commandName.size() >= commandNameLimit;
    const bool isProxy = commandName == proxyCommandName;
    QByteArray commandLine;
    std::snprintf(path, sizeof path, "%s/cmdline", processPath);
    if (isCut || isProxy)
        commandLine = readCommandLine(dirFd, path);

    QByteArray executable;
    if (isCut) {
        std::snprintf(path, sizeof path, "%s/exe", processPath);
        char target[PATH_MAX];
        const ssize_t length = ::readlinkat(dirFd, path, target, sizeof target);
        if (length > 0 && length < ssize_t(sizeof target))
            executable = QByteArray(target, length);
    }
    const QByteArray program = wholeProgramName(commandName, commandLine, executable);
    facts.program = escapeCommandName(program.isEmpty() ? commandName : QByteArrayView(program));
    if (isProxy)
        facts.proxy = parseProxyCommandLine(commandLine);

    QByteArray cgroup;
    std::snprintf(path, sizeof path, "%s/cgroup", processPath);
    // A file that fills the whole bound was cut somewhere: no fact rather than half a path.
    if (ProcFiles::readFile(dirFd, path, cgroup, maxCgroupBytes) && cgroup.size() < maxCgroupBytes)
        facts.place = parseCgroup(cgroup);
    return facts;
}

} // namespace OwnerFacts
