#pragma once

#include <QString>
#include <QUrl>

#include <functional>

class QObject;

// The few things the program asks of the desktop. Every caller goes through this seam, so
// tests hand in a recording stand-in and nothing real opens or quits. Main thread only.
class DesktopServices
{
public:
    virtual ~DesktopServices() = default;

    // Hands the URL to the desktop's default handler; false when none would take it.
    virtual bool openUrl(const QUrl& url) = 0;
    // Puts the text on the clipboard.
    virtual void copyText(const QString& text) = 0;
    // A desktop notification of one line of plain text. Nothing waits for it; where no
    // notification service took it, the failure handler hears so later.
    virtual void notify(const QString& message) = 0;
    // Asks, without showing anything, whether a notification service is there; the failure
    // handler hears when none is.
    virtual void checkNotifications() = 0;
    // Runs on the main thread, while context lives, for each notification or check that no
    // service took (none on the bus, or it answered with an error).
    virtual void setNotificationFailureHandler(QObject* context, std::function<void()> failed) = 0;
    // Ends the application the orderly way.
    virtual void terminate() = 0;
    // Brings the application to the front, before a dialog shows.
    virtual void activate() = 0;
    // No Dock icon or main window where the platform has such a notion; a no-op on Linux.
    virtual void setAccessoryPolicy() = 0;
};
