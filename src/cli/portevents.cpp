#include "portevents.h"

#include "portsoutput.h"

#include <QSet>

namespace {

// The record as events compare it: without its connection count.
ListeningPort comparable(const ListeningPort& port)
{
    return ListeningPort(port.port(), port.pid(), port.processName(), port.user(),
                         port.addresses(), port.startTime(),
                         OwnerDetails{port.program(), port.unit(), port.container()},
                         port.sockets(), port.protocol());
}

QList<PortEvent> missingFrom(const QList<ListeningPort>& ports, const QList<ListeningPort>& other,
                             PortEvent::Kind kind)
{
    QSet<ListeningPort> kept;
    for (const ListeningPort& port : other)
        kept.insert(comparable(port));
    QList<PortEvent> events;
    for (const ListeningPort& port : ports) {
        if (!kept.contains(comparable(port)))
            events.append({kind, port});
    }
    return events;
}

QByteArray owner(const ListeningPort& port)
{
    if (port.hasProcess())
        return terminalText(port.displayName()) + " (pid " + QByteArray::number(port.pid()) + ')';
    QByteArray text = port.displayName().isEmpty() ? QByteArray("-") : terminalText(port.displayName());
    if (!port.user().isEmpty())
        text += " (user " + terminalText(port.user()) + ')';
    return text;
}

QByteArray reach(const ListeningPort& port)
{
    switch (port.exposure()) {
    case ListeningPort::Exposure::Loopback:
        return "loopback";
    case ListeningPort::Exposure::AllInterfaces:
        return "all interfaces";
    case ListeningPort::Exposure::Specific:
        return terminalText(port.addresses().join(u','));
    case ListeningPort::Exposure::Unknown:
        break;
    }
    return "-";
}

} // namespace

QList<PortEvent> portEvents(const QList<ListeningPort>& before, const QList<ListeningPort>& after)
{
    return missingFrom(before, after, PortEvent::Kind::Closed) +
           missingFrom(after, before, PortEvent::Kind::Listening);
}

QByteArray formatEventJson(const PortEvent& event, const QDateTime& time)
{
    const bool listening = event.kind == PortEvent::Kind::Listening;
    return QByteArray("{\"event\": \"") + (listening ? "listening" : "closed") +
           "\", \"time\": \"" + time.toUTC().toString(Qt::ISODateWithMs).toLatin1() + "\", " +
           portJsonFields(event.port) + "}\n";
}

QByteArray formatEventLine(const PortEvent& event, const QDateTime& time)
{
    const char sign = event.kind == PortEvent::Kind::Listening ? '+' : '-';
    return time.toLocalTime().toString(u"HH:mm:ss").toLatin1() + "  " + sign + ' ' +
           QByteArray::number(event.port.port()) + '/' + protocolName(event.port) + "  " +
           owner(event.port) + "  " + reach(event.port) + '\n';
}
