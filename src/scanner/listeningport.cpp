#include "listeningport.h"

#include <algorithm>

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
                      port.container(), port.sockets(), int(port.protocol()),
                      port.connections().value_or(-1));
}

QStringView ipv4Part(QStringView address)
{
    static constexpr QStringView mapped = u"::ffff:";
    if (address.startsWith(mapped, Qt::CaseInsensitive) && address.contains(u'.'))
        return address.sliced(mapped.size());
    return address;
}

bool isWildcardAddress(QStringView address)
{
    address = ipv4Part(address);
    return address == u"*" || address == u"0.0.0.0" || address == u"::";
}

bool isLoopbackAddress(QStringView address)
{
    // The sources write addresses in their canonical text form, so text tests suffice.
    address = ipv4Part(address);
    return address == u"localhost" || address == u"::1" || address.startsWith(u"127.");
}
