// The /proc/net/tcp and udp reader against a plain restatement: split the lines, split each
// on runs of spaces, and keep the listening rows (TCP: LISTEN, UDP: unconnected) with a
// sound address, port, uid and inode, and for TCP the ESTABLISHED ones apart.
#include "fuzzcheck.h"
#include "procnetsource.h"

#include <sys/socket.h>

#include <charconv>
#include <cstring>

namespace {

// The kernel writes ports as %04X and inodes as %lu; fields longer than 16 hex or 19
// decimal digits are not its, and the reader may turn them down.
std::optional<quint64> toNumber(const QByteArray& text, int base, qsizetype maxDigits)
{
    quint64 value = 0;
    const auto [end, error] = std::from_chars(text.cbegin(), text.cend(), value, base);
    return !text.isEmpty() && text.size() <= maxDigits && error == std::errc() && end == text.cend()
               ? std::optional(value)
               : std::nullopt;
}

// 8 or 32 hex digits: 32-bit words as the machine holds them.
std::optional<SocketAddress> toAddress(const QByteArray& hex)
{
    if (hex.size() != 8 && hex.size() != 32)
        return std::nullopt;
    SocketAddress address;
    address.family = hex.size() == 8 ? AF_INET : AF_INET6;
    for (qsizetype word = 0; word < hex.size() / 8; ++word) {
        const auto value = toNumber(hex.mid(word * 8, 8), 16, 8);
        if (!value)
            return std::nullopt;
        const auto held = quint32(*value);
        std::memcpy(address.bytes.data() + word * 4, &held, 4);
    }
    return address;
}

ListeningSockets referenceParse(const QByteArray& table, bool udp,
                                std::vector<ListeningSocket>& established)
{
    ListeningSockets sockets;
    for (const QByteArray& line : table.split('\n').mid(1)) {
        QList<QByteArray> words = line.split(' ');
        words.removeAll(QByteArray());
        const bool isEstablished = !udp && words.size() >= 10 && words[3] == "01";
        if (words.size() < 10 || (words[3] != (udp ? "07" : "0A") && !isEstablished) ||
            !words[1].contains(':'))
            continue;
        const qsizetype colon = words[1].lastIndexOf(':');
        const auto address = toAddress(words[1].left(colon));
        const auto port = toNumber(words[1].mid(colon + 1), 16, 16);
        const auto uid = toNumber(words[7], 10, 19);
        const auto inode = toNumber(words[9], 10, 19);
        if (!address || !port || *port > 0xffff || !uid || *uid > 0xffffffffu || !inode)
            continue;
        const ListeningSocket socket{udp, quint16(*port), quint32(*uid), *address};
        if (isEstablished)
            established.push_back(socket);
        else if (*inode != 0)
            sockets.insert(*inode, socket);
    }
    return sockets;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray table(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const bool udp : {false, true}) {
        ListeningSockets sockets;
        std::vector<ListeningSocket> established, expected;
        parseProcNetTable(table, sockets, udp, &established);
        FUZZ_CHECK(sockets == referenceParse(table, udp, expected));
        FUZZ_CHECK(established == expected);
    }
    return 0;
}
