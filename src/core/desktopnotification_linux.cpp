#include "qtdesktopservices.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QGuiApplication>
#include <QTimer>
#include <QVariantMap>

// Straight to the desktop's notification service (org.freedesktop.Notifications), not
// through QSystemTrayIcon::showMessage: that shows only while a tray holds our icon, and on
// an XEmbed tray it is Qt's own balloon beside the icon rather than a notification that
// follows the desktop's settings. Nothing waits for the answer; an error in it (no session
// bus, no service, or one that refused) goes to the failure handler.
void QtDesktopServices::notify(const QString& message)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QString identifier = QGuiApplication::desktopFileName();
    QVariantMap hints;
    if (!identifier.isEmpty())
        hints.insert(QStringLiteral("desktop-entry"), identifier);
    // The message goes in the summary, which servers show as plain text; the body may be
    // read as markup.
    call << QGuiApplication::applicationDisplayName() << quint32(0) << identifier << message
         << QString() << QStringList() << hints << qint32(-1);
    watchForFailure(call);
}

void QtDesktopServices::checkNotifications()
{
    watchForFailure(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                                   QStringLiteral("/org/freedesktop/Notifications"),
                                                   QStringLiteral("org.freedesktop.Notifications"),
                                                   QStringLiteral("GetServerInformation")));
}

void QtDesktopServices::watchForFailure(const QDBusMessage& call)
{
    QObject* const context = m_failureContext;
    if (!context) {
        QDBusConnection::sessionBus().send(call);
        return;
    }
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        // note: a call on no bus never finishes, not even with an error.
        if (m_failed)
            QTimer::singleShot(0, context, m_failed);
        return;
    }
    // A service that hangs counts as none, after a while.
    constexpr int timeoutMs = 10000;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, timeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [watcher, failed = m_failed] {
                         watcher->deleteLater();
                         if (watcher->isError() && failed)
                             failed();
                     });
}
