#include "lsofparser.h"

#include "portlistbuilder.h"

#include <cstring>
#include <limits>

namespace LsofParser {

namespace {

template <typename Int> std::optional<Int> parseSigned(QByteArrayView text)
{
    using Unsigned = std::make_unsigned_t<Int>;
    qsizetype i = 0;
    bool negative = false;
    if (!text.isEmpty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    // Magnitude limit: max for positive numbers, max + 1 for negative ones.
    const Unsigned limit = Unsigned(std::numeric_limits<Int>::max()) + (negative ? 1u : 0u);
    Unsigned value = 0;
    for (; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch < '0' || ch > '9')
            return std::nullopt;
        const auto digit = Unsigned(ch - '0');
        if (value > (limit - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    if (!negative)
        return Int(value);
    // -limit is representable; compute it without overflowing the signed type.
    return value == 0 ? Int(0) : Int(-Int(value - 1) - 1);
}

// An upper bound on the records: one per "n" line.
qsizetype countSocketLines(QByteArrayView output)
{
    if (output.isEmpty())
        return 0;
    qsizetype count = output.startsWith('n') ? 1 : 0;
    const char* data = output.data();
    const char* const end = data + output.size();
    while (const char* newline = static_cast<const char*>(memchr(data, '\n', size_t(end - data)))) {
        if (newline + 1 < end && newline[1] == 'n')
            ++count;
        data = newline + 1;
    }
    return count;
}

} // namespace

std::optional<qint64> parseInt64(QByteArrayView text)
{
    return parseSigned<qint64>(text);
}

std::optional<qint32> parseInt32(QByteArrayView text)
{
    return parseSigned<qint32>(text);
}

std::optional<QList<ListeningPort>> parse(QByteArrayView output)
{
    if (!output.isValidUtf8())
        return std::nullopt;

    PortListBuilder builder;
    builder.reserve(countSocketLines(output));
    qint32 pid = 0;
    auto protocol = ListeningPort::Protocol::Tcp;
    // One QString per "c" line; the records share it.
    QString command;
    const char* const data = output.data();
    const qsizetype size = output.size();
    qsizetype start = 0;
    while (start < size) {
        const char* newline =
            static_cast<const char*>(memchr(data + start, '\n', size_t(size - start)));
        const qsizetype end = newline ? newline - data : size;
        if (end > start) {
            const QByteArrayView value(data + start + 1, end - start - 1);
            switch (data[start]) {
            case 'p':
                pid = parseInt32(value).value_or(0);
                protocol = ListeningPort::Protocol::Tcp;
                break;
            case 'c':
                command = QString::fromUtf8(value);
                break;
            case 'P':
                protocol =
                    value == "UDP" ? ListeningPort::Protocol::Udp : ListeningPort::Protocol::Tcp;
                break;
            case 'n': {
                const qsizetype colon = value.lastIndexOf(':');
                if (colon < 0 || value.contains("->"))
                    break;
                if (const auto port = parseInt64(value.sliced(colon + 1))) {
                    // "*:80", "127.0.0.1:631", "[::1]:5000": the address without brackets.
                    QByteArrayView address = value.first(colon);
                    if (address.size() >= 2 && address.front() == '[' && address.back() == ']')
                        address = address.sliced(1, address.size() - 2);
                    builder.add(*port, pid, command, QString::fromUtf8(address), {}, 0, {}, 0,
                                protocol);
                }
                break;
            }
            default:
                break;
            }
        }
        start = end + 1;
    }
    return builder.take();
}

QList<ListeningPort> parse(QStringView output)
{
    return parse(QByteArrayView(output.toUtf8())).value_or(QList<ListeningPort>());
}

} // namespace LsofParser
