#include "trayshell.h"

#include "desktopservices.h"
#include "panelstyle.h"
#include "panelwindow.h"
#include "popupplacement.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>

TrayShell::TrayShell(QWidget* panel, DesktopServices& desktop, bool trayAvailable, QObject* parent)
    : QObject(parent), m_desktop{desktop}, m_window{std::make_unique<PanelWindow>(
                                               panel, trayAvailable ? PanelWindow::Mode::Popup
                                                                    : PanelWindow::Mode::Window)}
{
    if (!trayAvailable) {
        // Without a tray the window is the program; closing it must not leave it running
        // and invisible.
        connect(m_window.get(), &PanelWindow::closeRequested, this,
                [this] { m_desktop.terminate(); });
        return;
    }
    m_trayIcon = new QSystemTrayIcon(PanelStyle::trayIcon(QGuiApplication::palette()), this);
    // The mark follows the desktop's theme when it changes.
    qApp->installEventFilter(this);
    m_trayIcon->setToolTip(tr("Tidewatch"));
    connect(m_trayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    togglePanel();
            });
    connect(m_window.get(), &PanelWindow::dismissedByOutsidePress, this,
            [this] { m_sinceDismissed.start(); });
}

TrayShell::~TrayShell() = default;

bool TrayShell::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange && m_trayIcon)
        m_trayIcon->setIcon(PanelStyle::trayIcon(QGuiApplication::palette()));
    return QObject::eventFilter(watched, event);
}

void TrayShell::show()
{
    if (m_trayIcon)
        m_trayIcon->show();
    else
        m_window->show();
}

void TrayShell::togglePanel()
{
    if (!m_trayIcon) {
        m_window->show();
        m_window->raise();
        m_window->activateWindow();
        return;
    }
    if (m_window->isVisible()) {
        m_window->hide();
        return;
    }
    // note: a press on the icon closes the popup as a press outside it, and then comes
    // back as this click; it must not open the popup again.
    if (m_sinceDismissed.isValid() && m_sinceDismissed.elapsed() < reopenGuardMs)
        return;
    openPopup();
}

void TrayShell::openPopup()
{
    const QRect anchor = iconAnchor();
    const QList<QScreen*> screens = QGuiApplication::screens();
    QList<QRect> geometries;
    for (const QScreen* screen : screens)
        geometries.append(screen->geometry());
    const int index = screenIndexFor(anchor, geometries);
    const QRect available = index >= 0 ? screens[index]->availableGeometry() : QRect();
    if (index >= 0)
        m_window->setScreen(screens[index]);
    m_window->setAnchor(anchor, available);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

QRect TrayShell::iconAnchor() const
{
    // note: some hosts (StatusNotifier over D-Bus) do not say where the icon is; the
    // pointer that just clicked it is the best guess.
    const QRect icon = m_trayIcon->geometry();
    if (!icon.isEmpty())
        return icon;
    return QRect(QCursor::pos(), QSize(1, 1));
}
