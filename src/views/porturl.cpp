#include "porturl.h"

QUrl browserUrl(const ListeningPort& port)
{
    if (port.port() <= 0 || port.port() > 65535)
        return {};
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(QStringLiteral("localhost"));
    if (port.exposure() == ListeningPort::Exposure::Specific)
        url.setHost(port.addresses().constFirst(), QUrl::StrictMode);
    url.setPort(int(port.port()));
    return url.isValid() ? url : QUrl();
}
