#include "updateprompter.h"

#include "desktopservices.h"
#include "printabletext.h"
#include "updatealerts.h"
#include "updatesource.h"

#include <QPointer>
#include <QSettings>
#include <QStringList>
#include <QTimer>

namespace {

// Feed text shown in an alert: without control or bidi-override characters, any word
// longer than 80 characters broken (it would widen the alert past the screen), and cut to
// maxLines lines and maxLength characters, so the alert's buttons stay on the screen.
QString shownText(const QString& text, qsizetype maxLines, qsizetype maxLength)
{
    constexpr qsizetype maxWord = 80;
    QStringList lines;
    for (QStringView line : QStringView(text).left(maxLength + 1).split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        QString broken;
        qsizetype word = 0;
        for (const QChar c : printableText(line)) {
            word = c.isSpace() ? 0 : word + 1;
            if (word > maxWord && !c.isLowSurrogate()) {
                broken += u'\n';
                word = 1;
            }
            broken += c;
        }
        lines += broken.split(u'\n');
    }
    QString shown = lines.mid(0, maxLines).join(u'\n');
    const bool cut = text.size() > maxLength || lines.size() > maxLines || shown.size() > maxLength;
    shown.truncate(maxLength);
    return cut ? shown + u'…' : shown;
}

} // namespace

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
    // Without a feed there is nothing to look at, and so no automatic checks.
    if (m_timer || !m_source.canCheck())
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
    // One check at a time, until its alert is closed: a click during an automatic check
    // makes that check answer, and a timer firing inside an alert's loop adds nothing.
    m_userWaiting = m_userWaiting || userInitiated;
    if (m_checking)
        return;
    m_checking = true;
    // The completion may come at once or from inside the reply's signal; the result is
    // dealt with from the event loop instead, so a modal alert never runs in either place.
    m_source.check([self = QPointer<UpdatePrompter>(this)](const UpdateCheckResult& result) {
        if (!self)
            return;
        QMetaObject::invokeMethod(
            self.data(), [self = self.data(), result] { self->handleResult(result); },
            Qt::QueuedConnection);
    });
}

void UpdatePrompter::handleResult(const UpdateCheckResult& result)
{
    const bool userInitiated = m_userWaiting;
    if (result.update)
        announce(*result.update, userInitiated);
    else if (userInitiated && result.isFailed())
        showMessage(UpdateAlerts::Kind::Warning, failedMessage(),
                    shownText(result.failure, 4, 400));
    else if (userInitiated)
        showMessage(UpdateAlerts::Kind::Information, upToDateMessage(),
                    upToDateInformative(m_source.appName(), m_source.currentVersion()));
    m_checking = false;
    m_userWaiting = false;
    Q_EMIT checkFinished();
}

void UpdatePrompter::announce(const AppUpdate& update, bool userInitiated)
{
    const QVariant seen = m_settings.value(seenKey());
    const bool announced = seen.isValid() && seen.toString() == update.version;
    if (!userInitiated && announced)
        return;
    // Stored before the alert, so the version counts as announced whatever the answer,
    // and written through at once in case the program ends while the alert is up.
    m_settings.setValue(seenKey(), update.version);
    m_settings.sync();

    const QString message = updateAvailableMessage(m_source.appName(), update);
    const QString informative = updateAvailableInformative(update, m_source.currentVersion());
    m_desktop.activate();
    if (!m_alerts.showUpdateAvailable(message, informative) || m_desktop.openUrl(update.url))
        return;
    showMessage(UpdateAlerts::Kind::Warning, tr("Couldn't open the download page"),
                tr("Open this address in a web browser:") + u'\n' +
                    QString::fromLatin1(update.url.toEncoded()));
}

void UpdatePrompter::showMessage(UpdateAlerts::Kind kind, const QString& message,
                                 const QString& informative)
{
    m_desktop.activate();
    m_alerts.showMessage(kind, message, informative);
}

QString UpdatePrompter::updateAvailableMessage(const QString& appName, const AppUpdate& update)
{
    return tr("%1 %2 is available").arg(appName, shownText(printableText(update.version), 1, 40));
}

QString UpdatePrompter::updateAvailableInformative(const AppUpdate& update,
                                                   const QString& currentVersion)
{
    const QString running = tr("You're running %1.").arg(currentVersion);
    if (update.notes.isEmpty())
        return running;
    return shownText(update.notes, 12, 800) + QLatin1String("\n\n") + running;
}

QString UpdatePrompter::upToDateMessage()
{
    return tr("You're up to date");
}

QString UpdatePrompter::failedMessage()
{
    return tr("Couldn't check for updates");
}

QString UpdatePrompter::upToDateInformative(const QString& appName, const QString& currentVersion)
{
    return tr("%1 %2 is the latest version.").arg(appName, currentVersion);
}
