#include "portsoutput.h"

#include "printabletext.h"
#include "processdetails.h"

#include <algorithm>

namespace {

void appendJsonStringOrNull(QByteArray& out, const char* key, const QString& text)
{
    out += ", \"";
    out += key;
    out += "\": ";
    if (text.isEmpty())
        out += "null";
    else
        appendJsonString(out, text);
}

QByteArray padLeft(const QByteArray& text, qsizetype width)
{
    return QByteArray(std::max<qsizetype>(0, width - text.size()), ' ') + text;
}

QByteArray padRight(const QByteArray& text, qsizetype width)
{
    return text + QByteArray(std::max<qsizetype>(0, width - text.size()), ' ');
}

QByteArray orDash(const QString& text)
{
    return text.isEmpty() ? QByteArray("-") : terminalText(text);
}

} // namespace

void appendJsonString(QByteArray& out, const QString& text)
{
    static constexpr char hex[] = "0123456789abcdef";
    out += '"';
    for (const char ch : text.toUtf8()) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 0xf];
        } else {
            out += char(c);
        }
    }
    out += '"';
}

QByteArray protocolName(const ListeningPort& port)
{
    return port.isUdp() ? "udp" : "tcp";
}

QByteArray terminalText(const QString& text)
{
    return escapedText(text).toUtf8();
}

QByteArray formatPortTable(const QList<ListeningPort>& ports)
{
    struct Row
    {
        QByteArray port, protocol, pid, user, addresses, connections, command;
    };
    QList<Row> rows{{"PORT", "PROTO", "PID", "USER", "ADDRESS", "CONN", "COMMAND"}};
    rows.reserve(ports.size() + 1);
    for (const ListeningPort& port : ports) {
        const bool hasProcess = port.hasProcess();
        const auto connections = port.connections();
        rows.append({QByteArray::number(port.port()), protocolName(port),
                     hasProcess ? QByteArray::number(port.pid()) : QByteArray("-"),
                     orDash(port.user()), orDash(port.addresses().join(QLatin1Char(','))),
                     connections ? QByteArray::number(*connections) : QByteArray("-"),
                     hasProcess ? terminalText(port.processName()) : orDash(port.processName())});
    }
    qsizetype portWidth = 0, pidWidth = 0, userWidth = 0, addressWidth = 0, connectionsWidth = 0;
    for (const Row& row : rows) {
        portWidth = std::max(portWidth, row.port.size());
        pidWidth = std::max(pidWidth, row.pid.size());
        userWidth = std::max(userWidth, row.user.size());
        addressWidth = std::max(addressWidth, row.addresses.size());
        connectionsWidth = std::max(connectionsWidth, row.connections.size());
    }
    QByteArray out;
    for (const Row& row : rows) {
        out += padLeft(row.port, portWidth) + "  " + padRight(row.protocol, 5) + "  " +
               padLeft(row.pid, pidWidth) + "  " + padRight(row.user, userWidth) + "  " +
               padRight(row.addresses, addressWidth) + "  " +
               padLeft(row.connections, connectionsWidth) + "  " + row.command + '\n';
    }
    return out;
}

QByteArray formatRemoteTable(const QList<RemoteListing>& listings)
{
    QByteArray out;
    for (const RemoteListing& listing : listings) {
        if (!out.isEmpty())
            out += '\n';
        out += terminalText(listing.host) + " (" +
               RemoteListing::sourceName(listing.source).toUtf8() + "):\n" +
               formatPortTable(listing.ports);
    }
    return out;
}

QByteArray formatRemoteJson(const QList<RemoteListing>& listings)
{
    QByteArrayList records;
    for (const RemoteListing& listing : listings) {
        QByteArray prefix = "{\"host\": ";
        appendJsonString(prefix, listing.host);
        prefix += ", \"source\": ";
        appendJsonString(prefix, RemoteListing::sourceName(listing.source));
        for (const ListeningPort& port : listing.ports)
            records.append("  " + prefix + ", " + portJsonFields(port) + '}');
    }
    return records.isEmpty() ? QByteArray("[]\n") : QByteArray("[\n" + records.join(",\n") + "\n]\n");
}

QByteArray portJsonFields(const ListeningPort& port)
{
    QByteArray out = "\"port\": " + QByteArray::number(port.port()) + ", \"pid\": ";
    if (port.hasProcess()) {
        out += QByteArray::number(port.pid()) + ", \"processName\": ";
        appendJsonString(out, port.processName());
    } else {
        // A name the lister gave stays, even without a usable process id.
        out += "null";
        appendJsonStringOrNull(out, "processName", port.processName());
    }
    out += ", \"user\": ";
    appendJsonString(out, port.user());
    out += ", \"addresses\": [";
    for (qsizetype a = 0; a < port.addresses().size(); ++a) {
        if (a > 0)
            out += ", ";
        appendJsonString(out, port.addresses()[a]);
    }
    out += ']';
    appendJsonStringOrNull(out, "program", port.program());
    appendJsonStringOrNull(out, "unit", port.unit());
    appendJsonStringOrNull(out, "container", port.container());
    out += ", \"protocol\": \"" + protocolName(port) + "\", \"connections\": ";
    const auto connections = port.connections();
    out += connections ? QByteArray::number(*connections) : QByteArray("null");
    out += ", \"started\": ";
    const auto started = processStartedAt(port.startTime());
    out += started ? '"' + started->toString(Qt::ISODate).toLatin1() + '"' : QByteArray("null");
    return out;
}

QByteArray formatPortJson(const QList<ListeningPort>& ports)
{
    if (ports.isEmpty())
        return "[]\n";
    QByteArray out = "[\n";
    for (qsizetype i = 0; i < ports.size(); ++i)
        out += "  {" + portJsonFields(ports[i]) + (i + 1 < ports.size() ? "},\n" : "}\n");
    out += "]\n";
    return out;
}
