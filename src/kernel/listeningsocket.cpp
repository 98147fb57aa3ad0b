#include "listeningsocket.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <sys/socket.h>

size_t qHash(const SocketAddress& address, size_t seed) noexcept
{
    return qHashMulti(seed, address.family, address.scope,
                      QByteArrayView(reinterpret_cast<const char*>(address.bytes.data()),
                                     qsizetype(address.bytes.size())));
}

QString addressText(const SocketAddress& address)
{
    if (address.family != AF_INET && address.family != AF_INET6)
        return {};
    char text[INET6_ADDRSTRLEN + IF_NAMESIZE + 1] = {};
    if (!::inet_ntop(address.family, address.bytes.data(), text, sizeof text))
        return {};
    QString out = QString::fromLatin1(text);
    // Only a link-local address needs its interface to be reached.
    const bool linkLocal =
        address.family == AF_INET6 && address.bytes[0] == 0xfe && (address.bytes[1] & 0xc0) == 0x80;
    if (linkLocal && address.scope != 0) {
        char name[IF_NAMESIZE] = {};
        out += QLatin1Char('%') + (::if_indextoname(address.scope, name)
                                       ? QString::fromLocal8Bit(name)
                                       : QString::number(address.scope));
    }
    return out;
}
