#include "listeningport.h"

#include <algorithm>

QString ListeningPort::id() const
{
    const QString owner = hasProcess() ? QString::number(m_pid) : QLatin1Char('@') + m_user;
    return QString::number(m_port) + QLatin1Char('-') + owner +
           (isUdp() ? QLatin1String("/udp") : QLatin1String());
}

ListeningPort::Exposure ListeningPort::exposure() const
{
    if (m_addresses.isEmpty())
        return Exposure::Unknown;
    if (std::any_of(m_addresses.cbegin(), m_addresses.cend(), isWildcardAddress))
        return Exposure::AllInterfaces;
    if (std::all_of(m_addresses.cbegin(), m_addresses.cend(), isLoopbackAddress))
        return Exposure::Loopback;
    return Exposure::Specific;
}

size_t qHash(const ListeningPort& port, size_t seed) noexcept
{
    return qHashMulti(seed, port.port(), port.pid(), port.processName(), port.user(),
                      port.addresses(), port.startTime(), port.program(), port.unit(),
                      port.container(), int(port.protocol()), port.connections().value_or(-1));
}

bool isWildcardAddress(QStringView address)
{
    return address == u"*" || address == u"0.0.0.0" || address == u"::";
}

bool isLoopbackAddress(QStringView address)
{
    // The sources write addresses in their canonical text form, so text tests suffice.
    return address == u"localhost" || address == u"::1" || address.startsWith(u"127.") ||
           address.startsWith(u"::ffff:127.", Qt::CaseInsensitive);
}
