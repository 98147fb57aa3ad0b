#pragma once

#include <QUrl>

// The few things the program asks of the desktop. Every caller goes through this seam, so
// tests hand in a recording stand-in and nothing real opens or quits. Main thread only.
class DesktopServices
{
public:
    virtual ~DesktopServices() = default;

    // Hands the URL to the desktop's default handler; false when none would take it.
    virtual bool openUrl(const QUrl& url) = 0;
    // Ends the application the orderly way.
    virtual void terminate() = 0;
    // Brings the application to the front, before a dialog shows.
    virtual void activate() = 0;
    // No Dock icon or main window where the platform has such a notion; a no-op on Linux.
    virtual void setAccessoryPolicy() = 0;
};
