// The /proc/net/tcp reader against a plain restatement: split the lines, split each on runs
// of spaces, and keep the LISTEN rows with a sound port and inode.
#include "fuzzcheck.h"
#include "procnetsource.h"

#include <charconv>

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

ListeningSockets referenceParse(const QByteArray& table)
{
    ListeningSockets sockets;
    for (const QByteArray& line : table.split('\n').mid(1)) {
        QList<QByteArray> words = line.split(' ');
        words.removeAll(QByteArray());
        if (words.size() < 10 || words[3] != "0A" || !words[1].contains(':'))
            continue;
        const auto port = toNumber(words[1].mid(words[1].lastIndexOf(':') + 1), 16, 16);
        const auto inode = toNumber(words[9], 10, 19);
        if (port && *port <= 0xffff && inode && *inode != 0)
            sockets.insert(*inode, quint16(*port));
    }
    return sockets;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray table(reinterpret_cast<const char*>(data), qsizetype(size));
    ListeningSockets sockets;
    parseProcNetTcp(table, sockets);
    FUZZ_CHECK(sockets == referenceParse(table));
    return 0;
}
