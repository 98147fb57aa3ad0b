#pragma once

#include "processidentity.h"

#include <QHashFunctions>
#include <QList>
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
                  quint64 startTime = 0, OwnerDetails details = {}, QList<quint64> sockets = {},
                  Protocol protocol = Protocol::Tcp, qint32 connections = -1)
        : m_port(port), m_pid(pid), m_processName(std::move(processName)), m_user(std::move(user)),
          m_addresses(std::move(addresses)), m_startTime(startTime), m_details(std::move(details)),
          m_sockets(std::move(sockets)), m_protocol(protocol), m_connections(connections)
    {}

    // A record's identity in a list: its port, protocol and pid, or for a record without a
    // process (one per port, protocol and user) its port, protocol and user. A TCP and a UDP
    // socket on one port are two records.
    struct Key
    {
        qint64 port = 0;
        qint32 pid = 0;
        QString user; // empty for a record with a process
        Protocol protocol = Protocol::Tcp;
        friend bool operator==(const Key&, const Key&) = default;
        friend size_t qHash(const Key& key, size_t seed = 0) noexcept
        {
            return qHashMulti(seed, key.port, key.pid, key.user, int(key.protocol));
        }
    };

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
    // The inodes of the sockets the owner listens on, sorted, where the source can tell
    // (the native one can; lsof's records have none).
    const QList<quint64>& sockets() const { return m_sockets; }
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

    // The owner as the scan saw it, to tell whether a live process is still it.
    ProcessIdentity owner() const { return {m_pid, m_processName, m_startTime}; }
    // False when the owner could not be read: no pid, no name, nothing to signal.
    bool hasProcess() const { return m_pid != 0; }
    Key key() const { return {m_port, m_pid, hasProcess() ? QString() : m_user, m_protocol}; }
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
    QList<quint64> m_sockets;
    Protocol m_protocol = Protocol::Tcp;
    qint32 m_connections = -1;
};

// Usable as a key of hashed containers; the hash takes every field.
size_t qHash(const ListeningPort& port, size_t seed = 0) noexcept;

template <> struct std::hash<ListeningPort>
{
    size_t operator()(const ListeningPort& port) const noexcept { return qHash(port); }
};

// An IPv4-mapped IPv6 address's IPv4 part ("::ffff:10.0.0.1" is "10.0.0.1"): a dual-stack
// socket bound to it takes IPv4 connections to that address. Any other address as it is.
QStringView ipv4Part(QStringView address);
// Whether an address text is a wildcard ("0.0.0.0", "::", lsof's "*") or a loopback one
// (127.0.0.0/8, "::1", "localhost"), an IPv4-mapped one by its IPv4 part.
bool isWildcardAddress(QStringView address);
bool isLoopbackAddress(QStringView address);
