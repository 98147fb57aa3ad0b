// The lsof field-output parser against a plain restatement of its rules: line by line over
// decoded text, with the (port, pid) keys kept as id texts in a map to their records.
#include "fuzzcheck.h"
#include "lsofparser.h"

#include <QHash>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringList>

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <tuple>

namespace {

// RFC 3629: no overlong forms, no surrogates, nothing past U+10FFFF.
bool isStrictUtf8(QByteArrayView bytes)
{
    qsizetype i = 0;
    while (i < bytes.size()) {
        const auto lead = uchar(bytes[i]);
        int length = 0;
        char32_t min = 0;
        char32_t code = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xe0) == 0xc0) {
            length = 2, min = 0x80, code = lead & 0x1f;
        } else if ((lead & 0xf0) == 0xe0) {
            length = 3, min = 0x800, code = lead & 0x0f;
        } else if ((lead & 0xf8) == 0xf0) {
            length = 4, min = 0x10000, code = lead & 0x07;
        } else {
            return false;
        }
        if (i + length > bytes.size())
            return false;
        for (int k = 1; k < length; ++k) {
            const auto next = uchar(bytes[i + k]);
            if ((next & 0xc0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3f);
        }
        if (code < min || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
            return false;
        i += length;
    }
    return true;
}

// Keeps a leading byte order mark as the character it is: lsof writes none, and the parser
// reads bytes, so one would be the first line's letter.
QString decode(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

template <typename Int> std::optional<Int> toInt(QStringView text)
{
    static const QRegularExpression decimal(QStringLiteral("\\A[+-]?[0-9]+\\z"));
    if (!decimal.match(text).hasMatch())
        return std::nullopt;
    const QByteArray digits = (text.startsWith(u'+') ? text.mid(1) : text).toLatin1();
    Int value = 0;
    const auto [end, error] = std::from_chars(digits.cbegin(), digits.cend(), value);
    if (error != std::errc() || end != digits.cend())
        return std::nullopt;
    return value;
}

// By port; on one port, records with a process by pid, then the one without.
bool inOrder(const ListeningPort& a, const ListeningPort& b)
{
    return std::tuple(a.port(), !a.hasProcess(), a.pid()) <
           std::tuple(b.port(), !b.hasProcess(), b.pid());
}

std::optional<QList<ListeningPort>> referenceParse(QByteArrayView bytes)
{
    if (!isStrictUtf8(bytes))
        return std::nullopt;
    const QString text = decode(bytes);
    qint32 pid = 0;
    QString command;
    QHash<QString, qsizetype> seen;
    QList<std::pair<ListeningPort, QStringList>> found; // the record, its addresses
    for (const QStringView line : QStringView(text).split(u'\n')) {
        if (line.isEmpty())
            continue;
        const QStringView value = line.mid(1);
        if (line.front() == u'p') {
            pid = toInt<qint32>(value).value_or(0);
        } else if (line.front() == u'c') {
            command = value.toString();
        } else if (line.front() == u'n') {
            const qsizetype colon = value.lastIndexOf(u':');
            if (colon < 0)
                continue;
            const auto port = toInt<qint64>(value.mid(colon + 1));
            if (!port)
                continue;
            const ListeningPort record(*port, pid, command);
            if (!seen.contains(record.id())) {
                seen.insert(record.id(), found.size());
                found.append({record, {}});
            }
            QString address = value.first(colon).toString();
            if (address.startsWith(u'[') && address.endsWith(u']') && address.size() >= 2)
                address = address.mid(1, address.size() - 2);
            if (!address.isEmpty())
                found[seen.value(record.id())].second.append(address);
        }
    }
    QList<ListeningPort> result;
    for (auto& [record, addresses] : found) {
        addresses.sort();
        addresses.removeDuplicates();
        result.append(
            ListeningPort(record.port(), record.pid(), record.processName(), {}, addresses));
    }
    std::stable_sort(result.begin(), result.end(), inOrder);
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(data, qsizetype(size));
    const std::optional<QList<ListeningPort>> ports = LsofParser::parse(bytes);
    const std::optional<QList<ListeningPort>> expected = referenceParse(bytes);
    FUZZ_CHECK(ports.has_value() == expected.has_value());
    if (!ports)
        return 0;

    for (qsizetype i = 1; i < ports->size(); ++i)
        FUZZ_CHECK(inOrder(ports->at(i - 1), ports->at(i)));
    FUZZ_CHECK(*ports == *expected);
    // The text overload reads the same bytes.
    FUZZ_CHECK(LsofParser::parse(QStringView(decode(bytes))) == *ports);
    return 0;
}
