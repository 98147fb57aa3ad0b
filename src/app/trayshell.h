#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QSystemTrayIcon>

#include <memory>

class DesktopServices;
class PanelWindow;

// The program's presence on the desktop: a tray icon whose click toggles the panel in a
// popup at the icon, or, where there is no tray, the panel in a small ordinary window.
class TrayShell : public QObject
{
    Q_OBJECT

public:
    // Takes ownership of the panel.
    TrayShell(QWidget* panel, DesktopServices& desktop, bool trayAvailable,
              QObject* parent = nullptr);
    ~TrayShell() override;

    // Shows the tray icon, or the window where there is no tray.
    void show();
    // What a click on the tray icon does.
    void togglePanel();

    PanelWindow* panelWindow() const { return m_window.get(); }
    // Null where there is no tray.
    QSystemTrayIcon* trayIcon() const { return m_trayIcon; }

    // A press outside the popup closes it, and when that press was on the tray icon its
    // click arrives just after: within this time it does not reopen the popup.
    static constexpr int reopenGuardMs = 250;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void openPopup();
    QRect iconAnchor() const;

    DesktopServices& m_desktop;
    std::unique_ptr<PanelWindow> m_window;
    QSystemTrayIcon* m_trayIcon = nullptr;
    QElapsedTimer m_sinceDismissed;
};
