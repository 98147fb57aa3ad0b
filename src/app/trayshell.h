#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QSystemTrayIcon>

#include <memory>
#include <optional>

class DesktopServices;
class PanelWindow;
class PortScanner;
class QAction;
class QMenu;
class SettingsBlock;
class TrayHosts;

// The program's presence on the desktop: a tray icon whose click toggles the panel and
// whose menu offers the panel's main commands, or, while there is no tray, the panel in an
// ordinary window. Follows the trays as they come and go, so the program is never out of
// reach.
class TrayShell : public QObject
{
    Q_OBJECT

public:
    // Takes ownership of the panel.
    TrayShell(QWidget* panel, PortScanner& scanner, DesktopServices& desktop, TrayHosts& hosts,
              QObject* parent = nullptr);
    ~TrayShell() override;

    // Shows the tray icon, or the window where there is no tray.
    void show();
    // What a click on the tray icon does.
    void togglePanel();
    // Opens the panel at the icon, or brings its window forward.
    void showPanel();

    // Keeps "Open at Login" in the icon's menu and the block's checkbox in step both ways.
    void bindOpenAtLogin(SettingsBlock& settings);
    // "Check for Updates…" in the menu, for builds that check.
    void setUpdateChecksOffered(bool offered);

    PanelWindow* panelWindow() const { return m_window.get(); }
    // Null until a tray has been there.
    QSystemTrayIcon* trayIcon() const { return m_trayIcon; }
    QMenu* menu() const { return m_menu.get(); }

    // Whether the panel shows the system ports, which the tooltip counts as the panel does.
    void setSystemPortsShown(bool shown);
    // The icon's tooltip for so many listening ports shown in the panel and hidden from it.
    static QString toolTipFor(qsizetype shown, qsizetype hiddenSystemPorts);

    // A press outside the popup closes it, and when that press was on the tray icon its
    // click arrives just after: within this time it does not reopen the popup.
    static constexpr int reopenGuardMs = 250;
    // How long the window waits at start for the icon made for a tray there to be shown.
    static constexpr int iconShowingMs = 1000;

Q_SIGNALS:
    void checkForUpdatesRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void followTrays();
    void makeIcon();
    void fitEmbeddedIcon();
    QIcon iconForTray();
    void openPopup();
    void updateToolTip();
    QRect iconAnchor() const;
    bool isOnIcon(const QPoint& at) const;

    PortScanner& m_scanner;
    DesktopServices& m_desktop;
    TrayHosts& m_hosts;
    std::unique_ptr<PanelWindow> m_window;
    std::unique_ptr<QMenu> m_menu;
    QAction* m_panelAction = nullptr;
    QAction* m_openAtLoginAction = nullptr;
    QAction* m_checkForUpdatesAction = nullptr;
    QSystemTrayIcon* m_trayIcon = nullptr;
    // What the icon was made for: Qt keeps an icon on the kind of tray it found first.
    bool m_iconIsStatusNotifier = false;
    std::optional<QColor> m_iconTrayColor; // what the X11 tray asked for when it was drawn
    bool m_systemPortsShown = false;
    bool m_shown = false;
    bool m_iconWaitOver = false;
    // Unset until docked or the window shown.
    std::optional<bool> m_docked;
    QElapsedTimer m_sinceDismissed;
    QRect m_popupAnchor; // where the popup last opened
};
