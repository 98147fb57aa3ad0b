// The lsof field-output parser against a plain restatement of its rules: strict UTF-8 by
// the table of RFC 3629, then line by line, with the (port, pid) pairs seen kept in a map
// to their records' addresses.
#include "fuzzcheck.h"
#include "lsofparser.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <charconv>
#include <map>
#include <tuple>

namespace {

// A signed decimal: an optional sign, then digits, and nothing else.
template <typename Int> std::optional<Int> toInt(QByteArrayView text)
{
    if (text.size() > 1 && text[0] == '+' && text[1] != '-')
        text = text.sliced(1); // from_chars takes a minus only
    Int value = 0;
    const auto [end, error] = std::from_chars(text.begin(), text.end(), value);
    return error == std::errc() && end == text.end() ? std::optional(value) : std::nullopt;
}

std::optional<QList<ListeningPort>> referenceParse(QByteArrayView bytes)
{
    // Each byte as the code point of the same number.
    static const QRegularExpression utf8(QStringLiteral(
        "\\A(?:[\\x00-\\x7F]|[\\xC2-\\xDF][\\x80-\\xBF]|\\xE0[\\xA0-\\xBF][\\x80-\\xBF]|"
        "[\\xE1-\\xEC\\xEE\\xEF][\\x80-\\xBF]{2}|\\xED[\\x80-\\x9F][\\x80-\\xBF]|"
        "\\xF0[\\x90-\\xBF][\\x80-\\xBF]{2}|[\\xF1-\\xF3][\\x80-\\xBF]{3}|"
        "\\xF4[\\x80-\\x8F][\\x80-\\xBF]{2})*+\\z"));
    if (!utf8.match(QString::fromLatin1(bytes)).hasMatch())
        return std::nullopt;
    using Protocol = ListeningPort::Protocol;
    qint32 pid = 0;
    Protocol protocol = Protocol::Tcp; // each process's sockets are TCP until a "P" line says
    QString command;
    std::map<std::tuple<qint64, qint32, int>, qsizetype> seen;
    QList<std::pair<ListeningPort, QStringList>> found; // each record with its addresses
    for (const QByteArray& line : bytes.toByteArray().split('\n')) {
        const QByteArray value = line.mid(1);
        const qsizetype colon = value.lastIndexOf(':');
        const auto port = toInt<qint64>(value.mid(colon + 1));
        const std::tuple key{port.value_or(0), pid, int(protocol)};
        if (line.startsWith('p')) {
            pid = toInt<qint32>(value).value_or(0);
            protocol = Protocol::Tcp;
        } else if (line.startsWith('P')) {
            protocol = value == "UDP" ? Protocol::Udp : Protocol::Tcp;
        } else if (line.startsWith('c')) {
            command = QString::fromUtf8(value);
        } else if (line.startsWith('n') && colon >= 0 && port && !value.contains("->")) {
            // A name with "->" is a connected socket: no listener.
            if (!seen.contains(key)) {
                seen.emplace(key, found.size());
                found.append({ListeningPort(*port, pid, command, {}, {}, 0, {}, {}, protocol), {}});
            }
            QString address = QString::fromUtf8(value.left(colon));
            if (address.size() >= 2 && address.startsWith(u'[') && address.endsWith(u']'))
                address = address.mid(1, address.size() - 2);
            if (!address.isEmpty())
                found[seen.at(key)].second.append(address);
        }
    }
    QList<ListeningPort> result;
    for (auto& [record, addresses] : found) {
        addresses.sort();
        addresses.removeDuplicates();
        result.append(ListeningPort(record.port(), record.pid(), record.processName(), {},
                                    addresses, 0, {}, {}, record.protocol()));
    }
    // By port, then pid, with the records without a process (pid 0) last on their port,
    // then TCP before UDP.
    std::stable_sort(result.begin(), result.end(), [](const auto& a, const auto& b) {
        return std::tuple(a.port(), !a.hasProcess(), a.pid(), a.protocol()) <
               std::tuple(b.port(), !b.hasProcess(), b.pid(), b.protocol());
    });
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(data, qsizetype(size));
    const std::optional<QList<ListeningPort>> ports = LsofParser::parse(bytes);
    FUZZ_CHECK(ports == referenceParse(bytes));
    // The text overload reads the same bytes; a leading byte order mark stays a character.
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    const QString text = decoder.decode(bytes);
    FUZZ_CHECK(!ports || LsofParser::parse(QStringView(text)) == *ports);
    return 0;
}
