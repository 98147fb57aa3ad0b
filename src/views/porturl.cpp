#include "porturl.h"

QUrl browserUrl(const ListeningPort& port)
{
    if (port.port() <= 0 || port.port() > 65535)
        return {};
    QString host = QStringLiteral("localhost");
    if (port.exposure() == ListeningPort::Exposure::Specific) {
        host = port.addresses().constFirst();
        // note: QUrl::setHost drops an IPv6 zone ("fe80::1%eth0"); in URL text the zone's
        // '%' is written "%25" inside the brackets.
        if (host.contains(QLatin1Char(':')))
            host = QLatin1Char('[') +
                   QString(host).replace(QLatin1Char('%'), QLatin1String("%25")) + QLatin1Char(']');
    }
    const QUrl url(QLatin1String("http://") + host + QLatin1Char(':') +
                       QString::number(port.port()),
                   QUrl::StrictMode);
    // An address is text from outside: it must come back as the whole host and nothing
    // else ("a/b" or "x@y" would make another URL).
    const bool isWholeHost = url.isValid() && url.path().isEmpty() && url.userInfo().isEmpty() &&
                             url.port() == port.port();
    return isWholeHost ? url : QUrl();
}
