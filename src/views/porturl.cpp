#include "porturl.h"

QUrl browserUrl(const ListeningPort& port)
{
    // UDP speaks no HTTP.
    if (port.isUdp() || port.port() <= 0 || port.port() > 65535)
        return {};
    const bool ownAddress = port.exposure() == ListeningPort::Exposure::Specific;
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setPort(int(port.port()));
    // Last, since every QUrl setter clears the error of the one before: a host QUrl rejects
    // must leave the URL invalid, not "http://:PORT". The address is raw text, so the '%'
    // of an IPv6 zone ("fe80::1%eth0") is part of the host, not an escape.
    // A client reaches an IPv4-mapped address by its IPv4 part.
    url.setHost(ownAddress ? ipv4Part(port.addresses().constFirst()).toString()
                           : QStringLiteral("localhost"),
                QUrl::DecodedMode);
    return url.isValid() ? url : QUrl();
}
