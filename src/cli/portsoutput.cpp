#include "portsoutput.h"

#include <algorithm>

namespace {

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

QByteArray padLeft(const QByteArray& text, qsizetype width)
{
    return QByteArray(std::max<qsizetype>(0, width - text.size()), ' ') + text;
}

} // namespace

QByteArray formatPortTable(const QList<ListeningPort>& ports)
{
    QByteArray portHeader("PORT");
    QByteArray pidHeader("PID");
    qsizetype portWidth = portHeader.size();
    qsizetype pidWidth = pidHeader.size();
    for (const ListeningPort& port : ports) {
        portWidth = std::max(portWidth, QByteArray::number(port.port()).size());
        pidWidth = std::max(pidWidth, QByteArray::number(port.pid()).size());
    }
    QByteArray out =
        padLeft(portHeader, portWidth) + "  " + padLeft(pidHeader, pidWidth) + "  COMMAND\n";
    for (const ListeningPort& port : ports) {
        out += padLeft(QByteArray::number(port.port()), portWidth) + "  " +
               padLeft(QByteArray::number(port.pid()), pidWidth) + "  " +
               port.processName().toUtf8() + '\n';
    }
    return out;
}

QByteArray formatPortJson(const QList<ListeningPort>& ports)
{
    if (ports.isEmpty())
        return "[]\n";
    QByteArray out = "[\n";
    for (qsizetype i = 0; i < ports.size(); ++i) {
        const ListeningPort& port = ports[i];
        out += "  {\"port\": " + QByteArray::number(port.port()) +
               ", \"pid\": " + QByteArray::number(port.pid()) + ", \"processName\": ";
        appendJsonString(out, port.processName());
        out += i + 1 < ports.size() ? "},\n" : "}\n";
    }
    out += "]\n";
    return out;
}
