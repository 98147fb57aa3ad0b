#pragma once

#include <QHashFunctions>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <cstddef>
#include <functional>
#include <optional>

// What else tells a port's owner apart, where the source can tell; empty otherwise.
struct OwnerDetails
{
    // The whole program name, where the kernel cut processName; otherwise processName.
    QString program;
    // The systemd service the owner runs as ("nginx.service").
    QString unit;
    // The container the owner runs in (its short id), or for a container runtime's port
    // proxy the container it forwards to (its name, else its address and port).
    QString container;

    friend bool operator==(const OwnerDetails&, const OwnerDetails&) = default;
};

// One listening port and who owns it: a TCP socket in the LISTEN state, or a UDP socket
// that is bound and not connected (what `ss -lun` lists). A plain immutable value.
//
// A record either names the owning process (pid and name), or, where the owner cannot be
// read (another user's process, or a socket that no process holds), only the user the
// socket belongs to; such records have pid 0 and no name.
class ListeningPort
{
public:
    // Where the owner listens, as far as the network is concerned.
    enum class Exposure
    {
        Unknown,       // the source did not say
        Loopback,      // only this machine can connect
        AllInterfaces, // a wildcard address: reachable from every network the machine is on
        Specific,      // one or more particular addresses
    };
    enum class Protocol : quint8
    {
        Tcp,
        Udp,
    };

    ListeningPort(qint64 port, qint32 pid, QString processName)
        : m_port(port), m_pid(pid), m_processName(std::move(processName))
    {}
    ListeningPort(qint64 port, qint32 pid, QString processName, QString user, QStringList addresses,
                  quint64 startTime = 0, OwnerDetails details = {},
                  Protocol protocol = Protocol::Tcp, qint32 connections = -1)
        : m_port(port), m_pid(pid), m_processName(std::move(processName)), m_user(std::move(user)),
          m_addresses(std::move(addresses)), m_startTime(startTime), m_details(std::move(details)),
          m_protocol(protocol), m_connections(connections)
    {}

    qint64 port() const { return m_port; }
    // 0 when the source carried no usable process id.
    qint32 pid() const { return m_pid; }
    const QString& processName() const { return m_processName; }
    // The owner's user name, or the uid in decimal when it has none; empty when the
    // source cannot tell.
    const QString& user() const { return m_user; }
    // The local addresses listened on for this port, as text ("127.0.0.1", "::", "*"),
    // sorted, without repeats; empty when the source cannot tell.
    const QStringList& addresses() const { return m_addresses; }
    // When the process started (the platform's clock ticks), which tells it apart from a
    // later process with the same pid; 0 when the source cannot tell.
    quint64 startTime() const { return m_startTime; }
    const QString& program() const { return m_details.program; }
    const QString& unit() const { return m_details.unit; }
    const QString& container() const { return m_details.container; }
    Protocol protocol() const { return m_protocol; }
    bool isUdp() const { return m_protocol == Protocol::Udp; }
    // The established connections a TCP listener has accepted and not closed; absent for
    // UDP, and where they were not counted.
    std::optional<qint32> connections() const
    {
        return m_connections < 0 ? std::nullopt : std::optional(m_connections);
    }

    // The name the user knows the owner by: the whole program name where the kernel cut
    // processName, else processName.
    const QString& displayName() const { return program().isEmpty() ? m_processName : program(); }

    // False when the owner could not be read: no pid, no name, nothing to signal.
    bool hasProcess() const { return m_pid != 0; }
    // "port-pid" in plain decimal, e.g. "5432-881": the record's identity in a list. A
    // record without a process is one per port and user: "5432-@postgres". A UDP record's
    // ends in "/udp", since a TCP and a UDP socket on one port are two records.
    QString id() const;
    // Ports below 1024, negative ones included.
    bool isSystem() const { return m_port < 1024; }
    Exposure exposure() const;

    friend bool operator==(const ListeningPort&, const ListeningPort&) = default;

private:
    qint64 m_port;
    qint32 m_pid;
    QString m_processName;
    QString m_user;
    QStringList m_addresses;
    quint64 m_startTime = 0;
    OwnerDetails m_details;
    Protocol m_protocol = Protocol::Tcp;
    qint32 m_connections = -1;
};

// Usable as a key of hashed containers; the hash takes every field.
size_t qHash(const ListeningPort& port, size_t seed = 0) noexcept;

template <> struct std::hash<ListeningPort>
{
    size_t operator()(const ListeningPort& port) const noexcept { return qHash(port); }
};

// Whether an address text is a wildcard ("0.0.0.0", "::", lsof's "*") or a loopback one
// (127.0.0.0/8, "::1", "::ffff:127.x.y.z", "localhost").
bool isWildcardAddress(QStringView address);
bool isLoopbackAddress(QStringView address);
