#include "remoteanswer.h"

#include "commandname.h"
#include "portlistbuilder.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

#include <arpa/inet.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

namespace {

using Protocol = ListeningPort::Protocol;

QString lineReason(qsizetype line)
{
    return QCoreApplication::translate("RemoteAnswer", "unexpected answer at line %1").arg(line);
}

// Digits only (no sign, no space), in the given base, within max.
std::optional<quint64> parseNumber(QByteArrayView text, int base = 10,
                                   quint64 max = std::numeric_limits<quint32>::max())
{
    if (text.isEmpty() || text.size() > 19 || text[0] == '+' || text[0] == '-')
        return std::nullopt;
    quint64 value = 0;
    const auto [end, error] = std::from_chars(text.begin(), text.end(), value, base);
    if (error != std::errc() || end != text.end() || value > max)
        return std::nullopt;
    return value;
}

// The next field of a line split at spaces and tabs; empty at its end.
QByteArrayView nextField(QByteArrayView line, qsizetype& at)
{
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
        ++at;
    const qsizetype begin = at;
    while (at < line.size() && line[at] != ' ' && line[at] != '\t')
        ++at;
    return line.sliced(begin, at - begin);
}

QList<QByteArrayView> lines(QByteArrayView text)
{
    QList<QByteArrayView> lines;
    while (!text.isEmpty()) {
        const qsizetype newline = text.indexOf('\n');
        lines.append(text.first(newline < 0 ? text.size() : newline));
        text = newline < 0 ? QByteArrayView() : text.sliced(newline + 1);
    }
    return lines;
}

// An address as ss writes it: "0.0.0.0", "*", "::1" (in brackets or not), with "%iface"
// after a link-local one kept and after any other dropped (the local sources name none).
std::optional<QString> ssAddress(QByteArrayView text)
{
    QByteArrayView address = text;
    QByteArrayView scope;
    if (text.startsWith('[')) {
        const qsizetype close = text.indexOf(']');
        if (close < 0 || (close + 1 < text.size() && text[close + 1] != '%'))
            return std::nullopt;
        address = text.sliced(1, close - 1);
        scope = text.sliced(close + 1);
    }
    const qsizetype percent = address.indexOf('%');
    if (percent >= 0) {
        if (!scope.isEmpty())
            return std::nullopt;
        scope = address.sliced(percent);
        address = address.first(percent);
    }
    // An interface's name: printable ASCII.
    if (scope == "%" ||
        std::any_of(scope.begin(), scope.end(), [](char c) { return c < '!' || c > '~'; }))
        return std::nullopt;
    if (address != "*") {
        if (address.isEmpty())
            return std::nullopt;
        for (const char c : address) {
            if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.')
                return std::nullopt;
        }
    }
    const bool linkLocal =
        address.size() > 4 && address.first(4).compare("fe80", Qt::CaseInsensitive) == 0;
    return QString::fromLatin1(address) + (linkLocal ? QString::fromLatin1(scope) : QString());
}

// The owners of an ss line: users:(("name",pid=1,fd=3),("name",pid=2,fd=4)).
bool parseSsUsers(QByteArrayView text, QList<std::pair<QString, qint32>>& users)
{
    if (!text.startsWith("users:(") || !text.endsWith(')'))
        return false;
    text = text.sliced(7, text.size() - 8);
    while (true) {
        if (!text.startsWith("(\""))
            return false;
        const qsizetype nameEnd = text.indexOf("\",pid=");
        const qsizetype fd = text.indexOf(",fd=", nameEnd);
        const qsizetype close = text.indexOf(')', fd);
        if (nameEnd < 0 || fd < 0 || close < 0)
            return false;
        const auto pid = parseNumber(text.sliced(nameEnd + 6, fd - nameEnd - 6), 10,
                                     std::numeric_limits<qint32>::max());
        if (!pid || *pid == 0 || !parseNumber(text.sliced(fd + 4, close - fd - 4)))
            return false;
        users.append({escapeCommandName(text.sliced(2, nameEnd - 2)), qint32(*pid)});
        text = text.sliced(close + 1);
        if (text.isEmpty())
            return true;
        if (!text.startsWith(','))
            return false;
        text = text.sliced(1);
    }
}

// A /proc/net table address: 32-bit words in hex, each in the machine's byte order.
std::optional<QString> tableAddress(QByteArrayView hex, bool ipv6, bool bigEndian)
{
    if (hex.size() != (ipv6 ? 32 : 8))
        return std::nullopt;
    std::array<unsigned char, 16> bytes = {};
    for (qsizetype word = 0; word < hex.size() / 8; ++word) {
        const auto value = parseNumber(hex.sliced(word * 8, 8), 16);
        if (!value)
            return std::nullopt;
        for (int b = 0; b < 4; ++b)
            bytes[size_t(word * 4 + b)] = quint8(*value >> (bigEndian ? 24 - 8 * b : 8 * b));
    }
    char text[INET6_ADDRSTRLEN] = {};
    if (!::inet_ntop(ipv6 ? AF_INET6 : AF_INET, bytes.data(), text, sizeof text))
        return std::nullopt;
    return QString::fromLatin1(text);
}

std::optional<QString> jsonText(const QJsonValue& value, bool nullable)
{
    if (value.isString())
        return value.toString();
    if (nullable && (value.isNull() || value.isUndefined()))
        return QString();
    return std::nullopt;
}

// A whole number within [min, max]; none for null or absent ones when nullable, -1 then.
std::optional<qint64> jsonNumber(const QJsonValue& value, qint64 min, qint64 max, bool nullable)
{
    if (nullable && (value.isNull() || value.isUndefined()))
        return -1;
    const double number = value.toDouble(std::nan(""));
    if (!value.isDouble() || number != std::floor(number) || number < double(min) ||
        number > double(max))
        return std::nullopt;
    return qint64(number);
}

} // namespace

QString RemoteListing::sourceName(Source source)
{
    switch (source) {
    case Source::TidewatchPorts:
        return QStringLiteral("tidewatch-ports");
    case Source::Ss:
        return QStringLiteral("ss");
    case Source::ProcNet:
        return QStringLiteral("proc");
    case Source::None:
        break;
    }
    return {};
}

namespace RemoteAnswer {

RemoteListing parse(QByteArrayView output)
{
    RemoteListing listing;
    const qsizetype newline = output.indexOf('\n');
    const QByteArrayView first = output.first(newline < 0 ? output.size() : newline);
    const QByteArrayView rest = newline < 0 ? QByteArrayView() : output.sliced(newline + 1);
    // ss writes process names as the kernel holds them, any bytes: those become names
    // escaped as local ones are, and every other field is checked to be ASCII.
    const bool rawNames = first == "tidewatch-remote ss";
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    [[maybe_unused]] const QString decoded = utf8.decode(rawNames ? QByteArrayView() : output);
    if (utf8.hasError() || output.contains('\0')) {
        listing.reason = QCoreApplication::translate("RemoteAnswer", "unexpected answer: not text");
        return listing;
    }
    if (first == "tidewatch-remote tidewatch-ports") {
        listing.source = RemoteListing::Source::TidewatchPorts;
        listing.ports = parseTidewatchJson(rest, &listing.reason);
    } else if (first == "tidewatch-remote ss") {
        listing.source = RemoteListing::Source::Ss;
        listing.ports = parseSsLines(rest, &listing.reason);
    } else if (first == "tidewatch-remote proc" || first == "tidewatch-remote proc 1" ||
               first == "tidewatch-remote proc 16777216") {
        listing.source = RemoteListing::Source::ProcNet;
        listing.ports = parseProcNetTables(rest, first.endsWith("16777216"), &listing.reason);
    } else {
        listing.reason = lineReason(1);
    }
    if (!listing.ok())
        listing.ports.clear();
    return listing;
}

QList<ListeningPort> parseTidewatchJson(QByteArrayView json, QString* reason)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json.toByteArray(), &error);
    if (!document.isArray()) {
        *reason =
            QCoreApplication::translate("RemoteAnswer", "unexpected answer: not a JSON array");
        return {};
    }
    PortListBuilder builder;
    const QJsonArray records = document.array();
    for (qsizetype i = 0; i < records.size(); ++i) {
        const QJsonObject record = records[i].toObject();
        const auto port = jsonNumber(record[u"port"], 0, 65535, false);
        const auto pid = jsonNumber(record[u"pid"], 1, std::numeric_limits<qint32>::max(), true);
        const auto name = jsonText(record[u"processName"], true);
        const auto user = jsonText(record[u"user"], false);
        const auto program = jsonText(record[u"program"], true);
        const auto unit = jsonText(record[u"unit"], true);
        const auto container = jsonText(record[u"container"], true);
        const auto connections =
            jsonNumber(record[u"connections"], 0, std::numeric_limits<qint32>::max(), true);
        const QString protocol = record[u"protocol"].toString();
        const QJsonValue addresses = record[u"addresses"];
        bool addressesOk = addresses.isArray();
        for (const QJsonValue& address : addresses.toArray())
            addressesOk = addressesOk && address.isString();
        if (!records[i].isObject() || !port || !pid || !name || !user || !program || !unit ||
            !container || !connections || !addressesOk ||
            (protocol != u"tcp" && protocol != u"udp") || (*pid > 0 && name->isEmpty()) ||
            !jsonText(record[u"started"], true)) {
            *reason = QCoreApplication::translate("RemoteAnswer", "unexpected answer: record %1")
                          .arg(i + 1);
            return {};
        }
        const QStringList texts = [&] {
            QStringList list;
            for (const QJsonValue& address : addresses.toArray())
                list.append(address.toString());
            return list.isEmpty() ? QStringList{QString()} : list;
        }();
        for (qsizetype a = 0; a < texts.size(); ++a) {
            builder.add(*port, qint32(std::max<qint64>(*pid, 0)), *name, texts[a], *user, 0,
                        {*program, *unit, *container}, 0,
                        protocol == u"udp" ? Protocol::Udp : Protocol::Tcp,
                        a == 0 ? qint32(*connections) : -1);
        }
    }
    return builder.take();
}

QList<ListeningPort> parseSsLines(QByteArrayView text, QString* reason)
{
    PortListBuilder builder;
    const QList<QByteArrayView> all = lines(text);
    for (qsizetype l = 0; l < all.size(); ++l) {
        const QByteArrayView line = all[l];
        qsizetype at = 0;
        const QByteArrayView netid = nextField(line, at);
        const QByteArrayView state = nextField(line, at);
        const auto received = parseNumber(nextField(line, at), 10, ~quint64(0) >> 1);
        const auto sent = parseNumber(nextField(line, at), 10, ~quint64(0) >> 1);
        const QByteArrayView local = nextField(line, at);
        const QByteArrayView peer = nextField(line, at);
        const QByteArrayView owners = line.sliced(at).trimmed();
        if (netid.isEmpty() && at == line.size())
            continue; // a blank line
        const bool udp = netid == "udp";
        const qsizetype colon = local.lastIndexOf(':');
        const auto port = parseNumber(local.sliced(colon + 1), 10, 65535);
        const auto address = colon > 0 ? ssAddress(local.first(colon)) : std::nullopt;
        QList<std::pair<QString, qint32>> users;
        if (!(udp ? state == "UNCONN" : netid == "tcp" && state == "LISTEN") || !received ||
            !sent || !port || !address || peer.isEmpty() ||
            (!owners.isEmpty() && !parseSsUsers(owners, users))) {
            *reason = lineReason(l + 2);
            return {};
        }
        const Protocol protocol = udp ? Protocol::Udp : Protocol::Tcp;
        if (users.isEmpty())
            builder.add(qint64(*port), 0, {}, *address, {}, 0, {}, 0, protocol);
        for (const auto& [name, pid] : users)
            builder.add(qint64(*port), pid, name, *address, {}, 0, {}, 0, protocol);
    }
    return builder.take();
}

QList<ListeningPort> parseProcNetTables(QByteArrayView text, bool bigEndian, QString* reason)
{
    PortListBuilder builder;
    const QList<QByteArrayView> all = lines(text);
    bool udp = false;
    bool ipv6 = false;
    bool inTable = false;
    for (qsizetype l = 0; l < all.size(); ++l) {
        const QByteArrayView line = all[l];
        qsizetype at = 0;
        QByteArrayView fields[10];
        for (QByteArrayView& field : fields)
            field = nextField(line, at);
        bool ok = false;
        if (fields[0] == "table" && fields[2].isEmpty() && l + 1 < all.size()) {
            const QByteArrayView table = fields[1];
            udp = table.startsWith("udp");
            ipv6 = table.endsWith('6');
            ok = table == "tcp" || table == "tcp6" || table == "udp" || table == "udp6";
            // Then the table's header: "  sl  local_address rem_address   st ..."
            qsizetype headerAt = 0;
            ok = ok && nextField(all[++l], headerAt) == "sl";
            inTable = true;
        } else if (inTable && fields[0].endsWith(':')) {
            const QByteArrayView local = fields[1];
            const qsizetype colon = local.indexOf(':');
            const auto address =
                tableAddress(local.first(std::max<qsizetype>(colon, 0)), ipv6, bigEndian);
            const auto port = parseNumber(local.sliced(colon + 1), 16, 65535);
            const auto state = parseNumber(fields[3], 16, 0xff);
            const auto uid = parseNumber(fields[7]);
            ok = parseNumber(fields[0].chopped(1)) && colon > 0 && address && port &&
                 fields[3].size() == 2 && state && uid &&
                 parseNumber(fields[9], 10, ~quint64(0) >> 1);
            // TCP listening (0A), or UDP unconnected (07)
            if (ok && *state == (udp ? 0x07 : 0x0A)) {
                builder.add(qint64(*port), 0, {}, *address, QString::number(*uid), 0, {}, 0,
                            udp ? Protocol::Udp : Protocol::Tcp);
            }
        }
        if (!ok) {
            *reason = lineReason(l + 2);
            return {};
        }
    }
    return builder.take();
}

} // namespace RemoteAnswer
