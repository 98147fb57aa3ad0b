#include "portchangenotifier.h"

#include "desktopservices.h"
#include "portscanner.h"
#include "printabletext.h"

#include <QSet>
#include <QSettings>

#include <utility>

namespace {

// The first record of each port and protocol of ports that other does not have, in the
// order of ports.
QList<ListeningPort> portsOnlyIn(const QList<ListeningPort>& ports,
                                 const QList<ListeningPort>& other)
{
    QSet<std::pair<qint64, bool>> skip;
    skip.reserve(other.size());
    for (const ListeningPort& port : other)
        skip.insert({port.port(), port.isUdp()});
    QList<ListeningPort> out;
    for (const ListeningPort& port : ports) {
        if (!skip.contains({port.port(), port.isUdp()})) {
            out.append(port);
            skip.insert({port.port(), port.isUdp()});
        }
    }
    return out;
}

// "8080"; a UDP port names its protocol: "5353/udp".
QString portLabel(const ListeningPort& port)
{
    return QString::number(port.port()) + (port.isUdp() ? QLatin1String("/udp") : QLatin1String());
}

} // namespace

PortChangeNotifier::PortChangeNotifier(PortScanner& scanner, DesktopServices& desktop,
                                       QSettings& preferences, QObject* parent)
    : QObject(parent), m_scanner(scanner), m_desktop(desktop), m_preferences(preferences),
      m_enabled(preferences.value(QLatin1String(settingsKey), false).toBool())
{
    if (m_scanner.lastScan())
        m_last = m_scanner.ports();
    connect(&m_scanner, &PortScanner::portsChanged, this, &PortChangeNotifier::onPortsChanged);
    m_desktop.setNotificationFailureHandler(this, [this] { onFailure(); });
}

void PortChangeNotifier::setEnabled(bool enabled)
{
    m_enabled = enabled;
    m_preferences.setValue(QLatin1String(settingsKey), enabled);
    if (enabled) {
        m_toldUnavailable = false;
        m_desktop.checkNotifications();
    }
}

void PortChangeNotifier::onFailure()
{
    if (!m_enabled || std::exchange(m_toldUnavailable, true))
        return;
    Q_EMIT unavailable(tr("Tidewatch can't notify you when ports start or stop listening: no "
                          "notification service on this desktop answers."));
}

void PortChangeNotifier::onPortsChanged()
{
    const QList<ListeningPort>& ports = m_scanner.ports();
    if (m_enabled && m_last) {
        for (const QString& message : messagesFor(*m_last, ports))
            m_desktop.notify(message);
    }
    m_last = ports;
}

QStringList PortChangeNotifier::messagesFor(const QList<ListeningPort>& before,
                                            const QList<ListeningPort>& after)
{
    // Most scans find the same list again.
    if (before == after)
        return {};
    const QList<ListeningPort> started = portsOnlyIn(after, before);
    const QList<ListeningPort> stopped = portsOnlyIn(before, after);
    if (started.size() + stopped.size() > maxMessages) {
        QStringList counts;
        if (started.size() == 1)
            counts.append(tr("1 port is now listening"));
        else if (!started.isEmpty())
            counts.append(tr("%1 ports are now listening").arg(started.size()));
        if (stopped.size() == 1)
            counts.append(tr("1 port stopped listening"));
        else if (!stopped.isEmpty())
            counts.append(tr("%1 ports stopped listening").arg(stopped.size()));
        return {counts.join(QLatin1String("; "))};
    }
    QStringList messages;
    // Another user's socket names no process.
    const auto owner = [](const ListeningPort& port) {
        return port.hasProcess() ? printableText(port.displayName()) : QString();
    };
    for (const ListeningPort& port : started) {
        const QString name = owner(port);
        messages.append(name.isEmpty()
                            ? tr("Port %1 is now listening").arg(portLabel(port))
                            : tr("Port %1 is now listening — %2").arg(portLabel(port), name));
    }
    for (const ListeningPort& port : stopped) {
        const QString name = owner(port);
        messages.append(name.isEmpty()
                            ? tr("Port %1 stopped listening").arg(portLabel(port))
                            : tr("Port %1 stopped listening — %2").arg(portLabel(port), name));
    }
    return messages;
}
