#pragma once

#include "listeningsocket.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <array>
#include <functional>

// The kernel's socket diagnostics (NETLINK_SOCK_DIAG): the TCP sockets in the LISTEN state
// and the bound, unconnected UDP sockets, with inode, user and local address, and nothing
// else; and on demand the established TCP sockets on given local ports. Unlike
// /proc/net/tcp, which walks every established connection to print the few listeners, a
// dump of the LISTEN state reads only the listening hash, and the established dump filters
// in the kernel; and none needs privilege.
namespace SockDiag {

enum class Dump
{
    TcpListening,
    UdpBound,       // state "UNCONN": bound and not connected, what `ss -lun` lists
    TcpEstablished, // on the ports asked for, whatever the inode (not yet accepted: 0)
};

// The request for a dump of one family's (AF_INET, AF_INET6) sockets. TcpEstablished
// takes the local ports to match (at most maxFilterPorts), which the kernel checks.
QByteArray request(Dump dump, int family, quint32 sequence, const QList<quint16>& ports = {});
// What one request's filter may hold: a netlink attribute takes less than 64 KiB.
inline constexpr qsizetype maxFilterPorts = 4096;

struct Progress
{
    enum class Status
    {
        More,   // the answer goes on in the next datagram
        Done,   // the answer is whole
        Failed, // the answer is void, including what earlier datagrams gave
    };
    Status status = Status::More;
    int error = 0;  // Failed because the kernel answered with an error: its errno
    QString reason; // Failed: why
};

using SocketFound = std::function<void(quint64 inode, const ListeningSocket& socket)>;

// Reads one datagram of the answer to the request with this sequence number and reports
// the sockets it lists in the dump's state. Anything short, overlong, out of sequence or of
// a kind a dump does not send fails the whole answer.
Progress parseDatagram(QByteArrayView datagram, quint32 sequence, Dump dump,
                       const SocketFound& found);
// The same, adding the sockets to a table.
Progress parseDatagram(QByteArrayView datagram, quint32 sequence, Dump dump,
                       ListeningSockets& sockets);

} // namespace SockDiag

// A netlink socket for the dumps, kept open from one query to the next and opened afresh
// after a failure, so that the rest of a failed answer is never read as the next one.
// Not thread-safe: callers serialise calls.
class SockDiagSocket
{
public:
    SockDiagSocket() = default;
    SockDiagSocket(const SockDiagSocket&) = delete;
    SockDiagSocket& operator=(const SockDiagSocket&) = delete;
    ~SockDiagSocket();

    enum class Result
    {
        Ok,
        Unavailable, // no diagnostics for this protocol here: read /proc/net instead
        Failed,
    };
    // Reports the dump's sockets, IPv4 and IPv6; for TcpEstablished, those on the ports
    // given for each family (IPv4, then IPv6), and none of a family without ports, whose
    // dump is not even asked for: the kernel walks its whole established table for one.
    // Only the families given (IPv4, IPv6) are asked for. On anything but Ok, reason says
    // why and what was reported is to be dropped.
    Result list(SockDiag::Dump kind, const SockDiag::SocketFound& found, QString& reason,
                const std::array<QList<quint16>, 2>& ports = {},
                std::array<bool, 2> families = {true, true});

private:
    bool open(QString& reason);
    void close();
    Result dump(SockDiag::Dump dump, int family, const SockDiag::SocketFound& found,
                QString& reason, const QList<quint16>& ports);

    int m_fd = -1;
    quint32 m_sequence = 0;
    QByteArray m_buffer;
};
