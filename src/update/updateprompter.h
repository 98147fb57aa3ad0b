#pragma once

#include "appupdate.h"
#include "updatealerts.h"

#include <QObject>
#include <QString>

#include <chrono>

class DesktopServices;
class QSettings;
class QTimer;
class UpdateSource;
struct UpdateCheckResult;

// Decides when to look for a new version and what to tell the user: a quiet automatic
// check shortly after start and then daily, and checks on request that always answer,
// saying so when the check failed. One check runs at a time.
// The app makes exactly one and hands it to whoever needs it. Main thread only.
class UpdatePrompter : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds defaultFirstCheckDelay{4000};
    static constexpr std::chrono::milliseconds defaultCheckInterval{std::chrono::hours(24)};

    // The settings store keeps the last announced version across runs.
    UpdatePrompter(const UpdateSource& source, QSettings& settings, UpdateAlerts& alerts,
                   DesktopServices& desktop,
                   std::chrono::milliseconds firstCheckDelay = defaultFirstCheckDelay,
                   std::chrono::milliseconds checkInterval = defaultCheckInterval,
                   QObject* parent = nullptr);
    ~UpdatePrompter() override;

    // Schedules the first automatic check after the first-check delay and then one every
    // check interval; nothing when the source cannot check. Later calls do nothing.
    void start();

    // The settings key holding the version last announced.
    static QString seenKey() { return QStringLiteral("lastNotifiedVersion"); }

    static QString updateAvailableMessage(const QString& appName, const AppUpdate& update);
    static QString updateAvailableInformative(const AppUpdate& update,
                                              const QString& currentVersion);
    static QString upToDateMessage();
    static QString failedMessage();
    static QString upToDateInformative(const QString& appName, const QString& currentVersion);

public Q_SLOTS:
    // Returns at once. An automatic check shows something only for a version not announced
    // before; a check the user asked for always ends with an alert. While a check runs
    // (until its alert is closed) this starts nothing, but a user's request makes the
    // running check answer.
    void checkNow(bool userInitiated);

Q_SIGNALS:
    // A check has been dealt with, after its alert (if any) was closed.
    void checkFinished();

private:
    void handleResult(const UpdateCheckResult& result);
    void announce(const AppUpdate& update, bool userInitiated);
    void showMessage(UpdateAlerts::Kind kind, const QString& message, const QString& informative);

    const UpdateSource& m_source;
    QSettings& m_settings;
    UpdateAlerts& m_alerts;
    DesktopServices& m_desktop;
    std::chrono::milliseconds m_firstCheckDelay;
    std::chrono::milliseconds m_checkInterval;
    QTimer* m_timer = nullptr;
    bool m_checking = false;    // from checkNow until the result was dealt with
    bool m_userWaiting = false; // the running check was asked for by the user
};
