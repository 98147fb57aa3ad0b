#include "qtdesktopservices.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QGuiApplication>
#include <QVariantMap>

// Straight to the desktop's notification service (org.freedesktop.Notifications), not
// through QSystemTrayIcon::showMessage: that shows only while a tray holds our icon, and on
// an XEmbed tray it is Qt's own balloon beside the icon rather than a notification that
// follows the desktop's settings. The call is sent without waiting for an answer; with no
// session bus or no service, nothing shows.
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
    QDBusConnection::sessionBus().send(call);
}
