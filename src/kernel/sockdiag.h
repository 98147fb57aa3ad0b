#pragma once

#include "listeningsocket.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The kernel's socket diagnostics (NETLINK_SOCK_DIAG): the TCP sockets in the LISTEN state,
// with inode, user and local address, and nothing else. Unlike /proc/net/tcp, which walks
// every established connection to print the few listeners, a dump of the LISTEN state
// reads only the listening hash; and it needs no privilege.
namespace SockDiag {

// The request for a dump of one family's (AF_INET, AF_INET6) listening TCP sockets.
QByteArray listenRequest(int family, quint32 sequence);

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

// Reads one datagram of the answer to the request with this sequence number and adds the
// sockets it lists. Anything short, overlong, out of sequence or of a kind a dump does not
// send fails the whole answer.
Progress parseDatagram(QByteArrayView datagram, quint32 sequence, ListeningSockets& sockets);

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
        Unavailable, // no socket diagnostics here: read /proc/net/tcp instead
        Failed,
    };
    // Fills sockets with every listening TCP socket, IPv4 and IPv6; on anything but Ok,
    // reason says why and sockets is to be dropped.
    Result listListening(ListeningSockets& sockets, QString& reason);

private:
    void close();
    Result dump(int family, ListeningSockets& sockets, QString& reason);

    int m_fd = -1;
    quint32 m_sequence = 0;
    QByteArray m_buffer;
};
