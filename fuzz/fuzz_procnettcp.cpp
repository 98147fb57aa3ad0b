// The /proc/net/tcp reader against a plain restatement: split the lines, split each on runs
// of spaces, and keep the LISTEN rows with a sound address, port, uid and inode.
#include "fuzzcheck.h"
#include "procnetsource.h"

#include <sys/socket.h>

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

namespace {

// The kernel writes ports as %04X and inodes as %lu; fields longer than 16 hex or 19
// decimal digits are not its, and the reader may turn them down.
std::optional<quint64> toNumber(const QByteArray& text, int base, qsizetype maxDigits)
{
    if (text.isEmpty() || text.size() > maxDigits)
        return std::nullopt;
    quint64 value = 0;
    const auto [end, error] = std::from_chars(text.cbegin(), text.cend(), value, base);
    if (error != std::errc() || end != text.cend())
        return std::nullopt;
    return value;
}

ListeningSockets referenceParse(const QByteArray& table)
{
    ListeningSockets sockets;
    const QList<QByteArray> lines = table.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].split(' ');
        QList<QByteArray> words;
        for (const QByteArray& field : fields) {
            if (!field.isEmpty())
                words.append(field);
        }
        if (words.size() < 10 || words[3] != "0A")
            continue;
        const qsizetype colon = words[1].lastIndexOf(':');
        if (colon < 0)
            continue;
        // The address: 8 or 32 hex digits, 32-bit words as the machine holds them.
        const QByteArray hex = words[1].left(colon);
        SocketAddress address;
        address.family = hex.size() == 8 ? AF_INET : AF_INET6;
        bool addressOk = hex.size() == 8 || hex.size() == 32;
        for (qsizetype word = 0; addressOk && word < hex.size() / 8; ++word) {
            const auto value = toNumber(hex.mid(word * 8, 8), 16, 8);
            addressOk = value.has_value();
            const quint32 held = value.value_or(0);
            std::memcpy(address.bytes.data() + word * 4, &held, 4);
        }
        const auto port = toNumber(words[1].mid(colon + 1), 16, 16);
        const auto uid = toNumber(words[7], 10, 19);
        const auto inode = toNumber(words[9], 10, 19);
        if (!addressOk || !port || *port > 0xffff || !uid || *uid > 0xffffffffu || !inode ||
            *inode == 0)
            continue;
        sockets.insert(*inode, ListeningSocket{quint16(*port), quint32(*uid), address});
    }
    return sockets;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray table(reinterpret_cast<const char*>(data), qsizetype(size));
    ListeningSockets sockets;
    parseProcNetTcp(table, sockets);
    FUZZ_CHECK(!sockets.contains(0));
    FUZZ_CHECK(sockets == referenceParse(table));
    return 0;
}
