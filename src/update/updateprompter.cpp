#include "updateprompter.h"

#include "desktopservices.h"
#include "updatealerts.h"
#include "updatesource.h"

#include <QPointer>
#include <QSettings>
#include <QTimer>

UpdatePrompter::UpdatePrompter(const UpdateSource& source, QSettings& settings,
                               UpdateAlerts& alerts, DesktopServices& desktop,
                               std::chrono::milliseconds firstCheckDelay,
                               std::chrono::milliseconds checkInterval, QObject* parent)
    : QObject(parent), m_source(source), m_settings(settings), m_alerts(alerts), m_desktop(desktop),
      m_firstCheckDelay(firstCheckDelay), m_checkInterval(checkInterval)
{}

UpdatePrompter::~UpdatePrompter() = default;

void UpdatePrompter::start()
{
    if (m_timer)
        return;
    // Precise timers: coarse ones may fire up to 5% early, and neither check may come
    // before its time.
    QTimer::singleShot(m_firstCheckDelay, Qt::PreciseTimer, this, [this] { checkNow(false); });
    m_timer = new QTimer(this);
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(m_checkInterval);
    connect(m_timer, &QTimer::timeout, this, [this] { checkNow(false); });
    m_timer->start();
}

void UpdatePrompter::checkNow(bool userInitiated)
{
    // The completion may come at once or from inside the reply's signal; the result is
    // dealt with from the event loop instead, so a modal alert never runs in either place.
    m_source.check([self = QPointer<UpdatePrompter>(this),
                    userInitiated](const std::optional<AppUpdate>& update) {
        if (!self)
            return;
        QMetaObject::invokeMethod(
            self.data(),
            [self = self.data(), update, userInitiated] {
                self->handleResult(update, userInitiated);
            },
            Qt::QueuedConnection);
    });
}

void UpdatePrompter::handleResult(const std::optional<AppUpdate>& update, bool userInitiated)
{
    if (update) {
        const QVariant seen = m_settings.value(seenKey());
        const bool announced = seen.isValid() && seen.toString() == update->version;
        if (!userInitiated && announced) {
            Q_EMIT checkFinished();
            return;
        }
        // Stored before the alert, so the version counts as announced whatever the answer,
        // and written through at once in case the program ends while the alert is up.
        m_settings.setValue(seenKey(), update->version);
        m_settings.sync();

        const QString message = updateAvailableMessage(m_source.appName(), *update);
        const QString informative = updateAvailableInformative(*update, m_source.currentVersion());
        m_desktop.activate();
        if (m_alerts.showUpdateAvailable(message, informative))
            m_desktop.openUrl(update->url);
    } else if (userInitiated) {
        m_desktop.activate();
        m_alerts.showUpToDate(upToDateMessage(),
                              upToDateInformative(m_source.appName(), m_source.currentVersion()));
    }
    Q_EMIT checkFinished();
}

QString UpdatePrompter::updateAvailableMessage(const QString& appName, const AppUpdate& update)
{
    return appName + u' ' + update.version + QLatin1String(" is available");
}

QString UpdatePrompter::updateAvailableInformative(const AppUpdate& update,
                                                   const QString& currentVersion)
{
    const QString running = QLatin1String("You're running ") + currentVersion + u'.';
    if (update.notes.isEmpty())
        return running;
    return update.notes + QLatin1String("\n\n") + running;
}

QString UpdatePrompter::upToDateMessage()
{
    return QStringLiteral("You're up to date");
}

QString UpdatePrompter::upToDateInformative(const QString& appName, const QString& currentVersion)
{
    return appName + u' ' + currentVersion + QLatin1String(" is the latest version.");
}
