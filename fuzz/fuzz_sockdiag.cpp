// The socket-diagnostics datagram reader against a restatement through the netlink header's
// own walking macros. The first byte picks the sequence number the reader expects, so both
// matching and stray answers are tried, and the dump (TCP listening, UDP, established).
#include "fuzzcheck.h"
#include "sockdiag.h"

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>

#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using Status = SockDiag::Progress::Status;

Status referenceParse(const std::vector<std::uint64_t>& aligned, int size, quint32 sequence,
                      SockDiag::Dump dump, ListeningSockets& sockets)
{
    const int state = dump == SockDiag::Dump::TcpListening ? TCP_LISTEN
                      : dump == SockDiag::Dump::UdpBound   ? TCP_CLOSE
                                                           : TCP_ESTABLISHED;
    quint64 unnamed = 1ull << 63; // established sockets without an inode, told apart
    if (size == 0)
        return Status::Failed;
    int left = size;
    const auto* header = reinterpret_cast<const nlmsghdr*>(aligned.data());
    // note: NLMSG_OK compares the unsigned length with the signed remainder, as it must:
    // NLMSG_NEXT takes the remainder below zero after a last message without padding.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wsign-compare"
    for (; NLMSG_OK(header, left); header = NLMSG_NEXT(header, left)) {
#pragma GCC diagnostic pop
        if (header->nlmsg_seq != sequence || (header->nlmsg_flags & NLM_F_DUMP_INTR))
            return Status::Failed;
        const int payload = int(header->nlmsg_len) - NLMSG_HDRLEN;
        if (header->nlmsg_type == NLMSG_NOOP)
            continue;
        if (header->nlmsg_type == NLMSG_DONE || header->nlmsg_type == NLMSG_ERROR) {
            int error = -1;
            if (payload >= int(sizeof error))
                std::memcpy(&error, NLMSG_DATA(header), sizeof error);
            return header->nlmsg_type == NLMSG_DONE && error == 0 ? Status::Done : Status::Failed;
        }
        if (header->nlmsg_type != SOCK_DIAG_BY_FAMILY || payload < int(sizeof(inet_diag_msg)))
            return Status::Failed;
        inet_diag_msg message;
        std::memcpy(&message, NLMSG_DATA(header), sizeof message);
        if (message.idiag_family != AF_INET && message.idiag_family != AF_INET6)
            return Status::Failed;
        if (message.idiag_state != state ||
            (message.idiag_inode == 0 && dump != SockDiag::Dump::TcpEstablished))
            continue;
        ListeningSocket socket{
            dump == SockDiag::Dump::UdpBound, ntohs(message.id.idiag_sport), message.idiag_uid, {}};
        socket.address.family = message.idiag_family;
        const bool ipv6 = message.idiag_family == AF_INET6;
        std::memcpy(socket.address.bytes.data(), message.id.idiag_src, ipv6 ? 16 : 4);
        socket.address.scope = ipv6 ? message.id.idiag_if : 0;
        sockets.insert(message.idiag_inode != 0 ? message.idiag_inode : unnamed++, socket);
    }
    // What is left is too short for a header, or claims more than is there.
    return left > 0 ? Status::Failed : Status::More;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > 1 << 16)
        return 0;
    const quint32 sequence = data[0];
    const QByteArrayView datagram(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    std::vector<std::uint64_t> aligned(size / 8 + 1);
    std::memcpy(aligned.data(), datagram.data(), size_t(datagram.size()));

    const auto dump = SockDiag::Dump(data[0] % 3);
    ListeningSockets sockets;
    quint64 unnamed = 1ull << 63;
    const SockDiag::Progress progress = SockDiag::parseDatagram(
        datagram, sequence, dump, [&](quint64 inode, const ListeningSocket& socket) {
            sockets.insert(inode != 0 ? inode : unnamed++, socket);
        });
    ListeningSockets expected;
    const Status status = referenceParse(aligned, int(datagram.size()), sequence, dump, expected);
    FUZZ_CHECK(progress.status == status);
    FUZZ_CHECK((status == Status::Failed) == !progress.reason.isEmpty());
    FUZZ_CHECK(status == Status::Failed || sockets == expected);
    for (const ListeningSocket& socket : sockets)
        FUZZ_CHECK(!addressText(socket.address).isEmpty());
    return 0;
}
