#pragma once

#include <QColor>
#include <QObject>

#include <memory>
#include <optional>

// The trays on this desktop that can show the program's icon, watched as they come and go
// (a tray host often starts after the programs of a login session).
class TrayHosts : public QObject
{
    Q_OBJECT

public:
    struct State
    {
        // A StatusNotifierItem host (KDE Plasma, GNOME's AppIndicator extension, waybar...),
        // reached through the watcher on the session bus.
        bool statusNotifier = false;
        // A tray that embeds icons: the X11 system tray, or the platform's own status bar.
        bool systemTray = false;
        // The program's icon is on show: registered with the StatusNotifierItem host, or
        // embedded in the tray. Qt settles which of the two kinds its icon uses once per
        // process, so a tray there may still not show it.
        bool iconShown = false;

        bool any() const { return statusNotifier || systemTray; }
        bool operator==(const State&) const = default;
    };

    using QObject::QObject;

    virtual State state() const = 0;
    // The colour an X11 system tray asks its icons to draw in, where it says one.
    virtual std::optional<QColor> trayColor() const { return std::nullopt; }
    // The program's icon has been made: from now on whether it is shown is followed too.
    virtual void followIcon() = 0;

Q_SIGNALS:
    // The state or the tray's colour changed.
    void changed();
};

// Asks now, and then follows what the desktop announces.
std::unique_ptr<TrayHosts> makePlatformTrayHosts();
