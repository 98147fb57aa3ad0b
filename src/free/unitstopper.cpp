#include "unitstopper.h"

bool UnitStopper::isStoppableUnit(QStringView name)
{
    // systemd: at most 255 characters of [A-Za-z0-9:_.\@-], the type after the last dot.
    if (name.size() > 255 || !(name.endsWith(u".service") || name.endsWith(u".socket")))
        return false;
    const QStringView prefix = name.first(name.lastIndexOf(u'.'));
    if (prefix.isEmpty() || prefix.startsWith(u'-'))
        return false;
    for (const QChar c : prefix) {
        const char16_t u = c.unicode();
        const bool allowed = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') ||
                             (u >= u'0' && u <= u'9') || u == u':' || u == u'_' || u == u'.' ||
                             u == u'\\' || u == u'@' || u == u'-';
        if (!allowed)
            return false;
    }
    return true;
}

std::optional<UnitStopper::SocketUnit> UnitStopper::listeningPort(QStringView type,
                                                                  QStringView address)
{
    SocketUnit socket;
    if (type == u"Datagram")
        socket.udp = true;
    else if (type != u"Stream" && type != u"SequentialPacket")
        return std::nullopt;
    if (address.startsWith(u'/') || address.startsWith(u'@'))
        return std::nullopt; // a path, or an abstract name
    // "[::]:631", "0.0.0.0:631", "631"; a path has no port.
    const QStringView port = address.sliced(address.lastIndexOf(u':') + 1);
    bool ok = false;
    const uint number = port.size() <= 5 ? port.toUInt(&ok) : 0;
    if (!ok || number == 0 || number > 65535 || !port.front().isDigit())
        return std::nullopt;
    socket.port = quint16(number);
    return socket;
}
