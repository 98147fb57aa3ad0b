#include "trayshell.h"

#include "desktopservices.h"
#include "panelstyle.h"
#include "panelwindow.h"
#include "popupplacement.h"
#include "portscanner.h"
#include "settingsblock.h"
#include "trayhosts.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QScreen>

namespace {

// note: a Wayland client cannot place its own windows, so there the panel opens as an
// ordinary window wherever the compositor puts it.
PanelWindow::Mode dockedMode()
{
    return QGuiApplication::platformName().startsWith(u"wayland") ? PanelWindow::Mode::Floating
                                                                  : PanelWindow::Mode::Popup;
}

} // namespace

TrayShell::TrayShell(QWidget* panel, PortScanner& scanner, DesktopServices& desktop,
                     TrayHosts& hosts, QObject* parent)
    : QObject(parent), m_scanner{scanner}, m_desktop{desktop}, m_hosts{hosts},
      m_window{std::make_unique<PanelWindow>(panel, PanelWindow::Mode::Window)},
      m_menu{std::make_unique<QMenu>()}
{
    m_panelAction = m_menu->addAction(tr("Show Panel"), this, [this] {
        if (m_window->isVisible())
            m_window->hide();
        else
            showPanel();
    });
    m_menu->addAction(tr("Refresh"), &m_scanner, &PortScanner::scan);
    m_menu->addSeparator();
    m_openAtLoginAction = m_menu->addAction(tr("Open at Login"));
    m_openAtLoginAction->setCheckable(true);
    m_checkForUpdatesAction =
        m_menu->addAction(tr("Check for Updates…"), this, &TrayShell::checkForUpdatesRequested);
    m_checkForUpdatesAction->setVisible(false);
    m_menu->addSeparator();
    m_menu->addAction(tr("Quit"), this, [this] { m_desktop.terminate(); });

    connect(m_window.get(), &PanelWindow::visibilityChanged, this, [this](bool visible) {
        m_panelAction->setText(visible ? tr("Hide Panel") : tr("Show Panel"));
        // Connections are counted only while someone can see them.
        m_scanner.setCountConnections(visible);
    });
    connect(m_window.get(), &PanelWindow::dismissedByOutsidePress, this,
            [this] { m_sinceDismissed.start(); });
    // Without a tray the window is the program; closing it must not leave it running and
    // invisible.
    connect(m_window.get(), &PanelWindow::closeRequested, this, [this] { m_desktop.terminate(); });
    connect(&m_scanner, &PortScanner::portsChanged, this, [this] {
        if (m_trayIcon)
            m_trayIcon->setToolTip(toolTipFor(m_scanner.ports().size()));
    });
    connect(&m_hosts, &TrayHosts::changed, this, [this] {
        if (m_docked)
            followTrays();
    });
    // The mark follows the desktop's theme when it changes.
    qApp->installEventFilter(this);
}

TrayShell::~TrayShell() = default;

QString TrayShell::toolTipFor(qsizetype listening)
{
    return listening == 1 ? tr("Tidewatch — 1 listening port")
                          : tr("Tidewatch — %1 listening ports").arg(listening);
}

void TrayShell::bindOpenAtLogin(SettingsBlock& settings)
{
    m_openAtLoginAction->setChecked(settings.isOpenAtLogin());
    connect(m_openAtLoginAction, &QAction::triggered, &settings, [this, &settings](bool open) {
        // The block says why a change failed; open the panel where it says so.
        if (!settings.setOpenAtLogin(open))
            showPanel();
    });
    connect(&settings, &SettingsBlock::openAtLoginChanged, m_openAtLoginAction,
            &QAction::setChecked);
}

void TrayShell::setUpdateChecksOffered(bool offered)
{
    m_checkForUpdatesAction->setVisible(offered);
}

bool TrayShell::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange && m_trayIcon)
        m_trayIcon->setIcon(PanelStyle::trayIcon(QGuiApplication::palette()));
    return QObject::eventFilter(watched, event);
}

void TrayShell::show()
{
    if (!m_docked)
        followTrays();
}

void TrayShell::followTrays()
{
    const TrayHosts::State hosts = m_hosts.state();
    if (!m_trayIcon && hosts.any()) {
        m_iconIsStatusNotifier = hosts.statusNotifier;
        makeIcon();
    }
    const bool docked =
        m_trayIcon && (m_iconIsStatusNotifier ? hosts.statusNotifier : hosts.systemTray);
    if (docked == m_docked)
        return;
    m_docked = docked;
    m_window->hide();
    m_window->setMode(docked ? dockedMode() : PanelWindow::Mode::Window);
    if (!docked)
        m_window->show();
}

void TrayShell::makeIcon()
{
    m_trayIcon = new QSystemTrayIcon(PanelStyle::trayIcon(QGuiApplication::palette()), this);
    m_trayIcon->setToolTip(toolTipFor(m_scanner.ports().size()));
    m_trayIcon->setContextMenu(m_menu.get());
    connect(m_trayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    togglePanel();
            });
    // Once shown, it stays: Qt docks it again when its tray comes back.
    m_trayIcon->show();
}

void TrayShell::togglePanel()
{
    if (m_window->mode() == PanelWindow::Mode::Window) {
        showPanel();
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
    showPanel();
}

void TrayShell::showPanel()
{
    if (m_window->mode() == PanelWindow::Mode::Popup)
        openPopup();
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
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
}

QRect TrayShell::iconAnchor() const
{
    // note: some hosts (StatusNotifier over D-Bus) do not say where the icon is; the
    // pointer that just clicked it is the best guess.
    const QRect icon = m_trayIcon ? m_trayIcon->geometry() : QRect();
    if (!icon.isEmpty())
        return icon;
    return QRect(QCursor::pos(), QSize(1, 1));
}
