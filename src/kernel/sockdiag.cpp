#include "sockdiag.h"

#include <QCoreApplication>

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace SockDiag {

namespace {

Progress failure(QString reason, int error = 0)
{
    return Progress{Progress::Status::Failed, error, std::move(reason)};
}

Progress truncated()
{
    return failure(QStringLiteral("a truncated answer"));
}

quint8 stateOf(Dump dump)
{
    switch (dump) {
    case Dump::TcpListening:
        return TCP_LISTEN;
    case Dump::UdpBound:
        return TCP_CLOSE; // UDP borrows TCP's states
    case Dump::TcpEstablished:
        break;
    }
    return TCP_ESTABLISHED;
}

} // namespace

QByteArray request(Dump dump, int family, quint32 sequence, const QList<quint16>& ports)
{
    struct
    {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message = {};
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    message.header.nlmsg_seq = sequence;
    message.request.sdiag_family = quint8(family);
    message.request.sdiag_protocol = dump == Dump::UdpBound ? IPPROTO_UDP : IPPROTO_TCP;
    message.request.idiag_states = 1u << stateOf(dump);
    // The filter "local port is one of these", as ss compiles an "or" of ports: each test
    // passes to a jump to the end, or fails to the next test; the kernel checks that every
    // target lies on the chain of "pass" steps. The last test's failure lands past the end,
    // which rejects.
    QByteArray filter;
    if (dump == Dump::TcpEstablished) {
        // No port asked for: a test no connection passes.
        const QList<quint16> asked = ports.isEmpty() ? QList<quint16>{0} : ports;
        const qsizetype count = std::min(asked.size(), maxFilterPorts);
        const int length = int(count * 12 - 4);
        for (qsizetype i = 0; i < count; ++i) {
            const int at = int(i * 12);
            const inet_diag_bc_op test[2] = {{INET_DIAG_BC_S_EQ, 8, 12}, {0, 0, asked[i]}};
            filter.append(reinterpret_cast<const char*>(test), sizeof test);
            if (i + 1 < count) {
                const inet_diag_bc_op pass = {INET_DIAG_BC_JMP, 4, quint16(length - at - 8)};
                filter.append(reinterpret_cast<const char*>(&pass), sizeof pass);
            }
        }
    }
    QByteArray out(reinterpret_cast<const char*>(&message), sizeof message);
    if (!filter.isEmpty()) {
        const nlattr attribute{quint16(NLA_HDRLEN + filter.size()), INET_DIAG_REQ_BYTECODE};
        out.append(reinterpret_cast<const char*>(&attribute), sizeof attribute);
        out.append(filter);
    }
    nlmsghdr header;
    std::memcpy(&header, out.constData(), sizeof header);
    header.nlmsg_len = quint32(out.size());
    std::memcpy(out.data(), &header, sizeof header);
    return out;
}

Progress parseDatagram(QByteArrayView datagram, quint32 sequence, Dump dump,
                       ListeningSockets& sockets)
{
    return parseDatagram(datagram, sequence, dump,
                         [&sockets](quint64 inode, const ListeningSocket& socket) {
                             sockets.insert(inode, socket);
                         });
}

Progress parseDatagram(QByteArrayView datagram, quint32 sequence, Dump dump,
                       const SocketFound& found)
{
    const quint8 state = stateOf(dump);
    if (datagram.isEmpty())
        return truncated();
    // Fields are copied out rather than cast in place: a buffer need not be aligned.
    for (qsizetype offset = 0; offset < datagram.size();) {
        const qsizetype left = datagram.size() - offset;
        nlmsghdr header;
        if (left < qsizetype(sizeof header))
            return truncated();
        std::memcpy(&header, datagram.data() + offset, sizeof header);
        if (header.nlmsg_len < sizeof header || qsizetype(header.nlmsg_len) > left)
            return truncated();
        if (header.nlmsg_seq != sequence)
            return failure(QStringLiteral("an answer out of sequence"));
        if (header.nlmsg_flags & NLM_F_DUMP_INTR)
            return failure(QStringLiteral("the kernel's tables changed during the answer"));
        const QByteArrayView payload =
            datagram.sliced(offset + qsizetype(sizeof header), header.nlmsg_len - sizeof header);
        switch (header.nlmsg_type) {
        case NLMSG_NOOP:
            break;
        case NLMSG_DONE:
        case NLMSG_ERROR: {
            // Both start with an errno: negative when the dump broke off or was refused.
            int error = 0;
            if (payload.size() < qsizetype(sizeof error))
                return truncated();
            std::memcpy(&error, payload.data(), sizeof error);
            if (header.nlmsg_type == NLMSG_DONE && error == 0)
                return Progress{Progress::Status::Done, 0, {}};
            if (error >= 0)
                return failure(QStringLiteral("an unexpected acknowledgement"));
            // The kernel's errors are -1 to -4095; anything below is no errno at all.
            if (error < -4095)
                return failure(QStringLiteral("a malformed error %1").arg(error));
            return failure(QStringLiteral("the kernel refused: %1").arg(qt_error_string(-error)),
                           -error);
        }
        case SOCK_DIAG_BY_FAMILY: {
            inet_diag_msg message;
            if (payload.size() < qsizetype(sizeof message))
                return truncated();
            std::memcpy(&message, payload.data(), sizeof message);
            if (message.idiag_family != AF_INET && message.idiag_family != AF_INET6)
                return failure(
                    QStringLiteral("a socket of unknown family %1").arg(message.idiag_family));
            // A listener without an inode is no descriptor's, and cannot be told from
            // another; a connection not accepted yet has none either, and counts.
            if (message.idiag_state != state ||
                (message.idiag_inode == 0 && dump != Dump::TcpEstablished))
                break;
            ListeningSocket socket;
            socket.udp = dump == Dump::UdpBound;
            socket.port = ntohs(message.id.idiag_sport);
            socket.uid = message.idiag_uid;
            socket.address.family = message.idiag_family;
            const bool ipv6 = message.idiag_family == AF_INET6;
            std::memcpy(socket.address.bytes.data(), message.id.idiag_src, ipv6 ? 16 : 4);
            if (ipv6)
                socket.address.scope = message.id.idiag_if;
            found(message.idiag_inode, socket);
            break;
        }
        default:
            return failure(
                QStringLiteral("a message of unexpected type %1").arg(header.nlmsg_type));
        }
        offset += std::min<qsizetype>(NLMSG_ALIGN(header.nlmsg_len), left);
    }
    return Progress{};
}

} // namespace SockDiag

SockDiagSocket::~SockDiagSocket()
{
    close();
}

void SockDiagSocket::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

// False when this kernel has no socket diagnostics; a socket still closed then failed.
bool SockDiagSocket::open(QString& reason)
{
    m_fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (m_fd < 0) {
        reason = QStringLiteral("no socket diagnostics: %1").arg(qt_error_string(errno));
        return false;
    }
    // Connected to the kernel, the socket takes datagrams from nobody else; and a dump
    // that never ends cannot hold the scan forever.
    sockaddr_nl kernel = {};
    kernel.nl_family = AF_NETLINK;
    const timeval timeout{5, 0};
    if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel) != 0 ||
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) != 0) {
        reason = QStringLiteral("socket diagnostics: %1").arg(qt_error_string(errno));
        close();
        return true; // a failure, not an absence
    }
    // The kernel fills a dump's datagrams up to what the reader asked for, at most 32 KiB.
    m_buffer.resize(64 * 1024);
    return true;
}

SockDiagSocket::Result SockDiagSocket::list(SockDiag::Dump kind, const SockDiag::SocketFound& found,
                                            QString& reason,
                                            const std::array<QList<quint16>, 2>& ports,
                                            std::array<bool, 2> families)
{
    if (m_fd < 0) {
        if (!open(reason))
            return Result::Unavailable;
        if (m_fd < 0)
            return Result::Failed;
    }
    for (const int family : {AF_INET, AF_INET6}) {
        const QList<quint16>& asked = ports[family == AF_INET6];
        if (!families[family == AF_INET6] ||
            (kind == SockDiag::Dump::TcpEstablished && asked.isEmpty()))
            continue;
        for (qsizetype from = 0; from == 0 || from < asked.size();
             from += SockDiag::maxFilterPorts) {
            const Result result =
                dump(kind, family, found, reason, asked.mid(from, SockDiag::maxFilterPorts));
            // An absent protocol said so in a whole answer: the socket serves on.
            if (result == Result::Failed)
                close();
            if (result != Result::Ok)
                return result;
        }
    }
    return Result::Ok;
}

SockDiagSocket::Result SockDiagSocket::dump(SockDiag::Dump dump, int family,
                                            const SockDiag::SocketFound& found, QString& reason,
                                            const QList<quint16>& ports)
{
    const quint32 sequence = ++m_sequence;
    const QByteArray request = SockDiag::request(dump, family, sequence, ports);
    if (::send(m_fd, request.constData(), size_t(request.size()), 0) != request.size()) {
        reason = QStringLiteral("socket diagnostics: %1").arg(qt_error_string(errno));
        return Result::Failed;
    }
    for (;;) {
        iovec vector{m_buffer.data(), size_t(m_buffer.size())};
        msghdr message = {};
        message.msg_iov = &vector;
        message.msg_iovlen = 1;
        const ssize_t length = ::recvmsg(m_fd, &message, 0);
        if (length < 0 && errno == EINTR)
            continue;
        if (length < 0) {
            reason = QStringLiteral("socket diagnostics: %1").arg(qt_error_string(errno));
            return Result::Failed;
        }
        if (message.msg_flags & MSG_TRUNC) {
            reason = QStringLiteral("socket diagnostics: a truncated answer");
            return Result::Failed;
        }
        const SockDiag::Progress progress = SockDiag::parseDatagram(
            QByteArrayView(m_buffer.constData(), length), sequence, dump, found);
        switch (progress.status) {
        case SockDiag::Progress::Status::More:
            continue;
        case SockDiag::Progress::Status::Done:
            return Result::Ok;
        case SockDiag::Progress::Status::Failed:
            reason = QStringLiteral("socket diagnostics: ") + progress.reason;
            // A kernel without a protocol's diagnostics (the module absent) says so.
            return progress.error == ENOENT ? Result::Unavailable : Result::Failed;
        }
    }
}
