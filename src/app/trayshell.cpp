#include "trayshell.h"

#include "desktopservices.h"
#include "panelstyle.h"
#include "panelwindow.h"
#include "popupplacement.h"
#include "portscanner.h"
#include "settingsblock.h"
#include "trayhosts.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <utility>

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
            [this](Qt::MouseButton button, const QPoint& at) {
                m_sinceDismissed.start();
                // The popup takes the press that closes it, so the tray never sees a right
                // click on the icon: open the menu here, as the click asked.
                if (button == Qt::RightButton && isOnIcon(at))
                    QTimer::singleShot(0, m_menu.get(), [this, at] {
                        if (!m_menu->isVisible())
                            m_menu->popup(at);
                    });
            });
    // Without a tray the window is the program; closing it must not leave it running and
    // invisible.
    connect(m_window.get(), &PanelWindow::closeRequested, this, [this] { m_desktop.terminate(); });
    connect(&m_scanner, &PortScanner::lastScanChanged, this, &TrayShell::updateToolTip);
    connect(&m_hosts, &TrayHosts::changed, this, [this] {
        if (m_shown)
            followTrays();
        if (m_trayIcon && m_hosts.trayColor() != m_iconTrayColor)
            m_trayIcon->setIcon(iconForTray());
    });
    // The mark follows the desktop's theme when it changes.
    qApp->installEventFilter(this);
}

TrayShell::~TrayShell() = default;

QString TrayShell::toolTipFor(qsizetype shown, qsizetype hiddenSystemPorts)
{
    const QString ports = shown == 1 ? tr("Tidewatch — 1 listening port")
                                     : tr("Tidewatch — %1 listening ports").arg(shown);
    if (hiddenSystemPorts == 1)
        return tr("%1 (1 system port hidden)").arg(ports);
    if (hiddenSystemPorts > 1)
        return tr("%1 (%2 system ports hidden)").arg(ports).arg(hiddenSystemPorts);
    return ports;
}

void TrayShell::setSystemPortsShown(bool shown)
{
    m_systemPortsShown = shown;
    updateToolTip();
}

void TrayShell::updateToolTip()
{
    if (!m_trayIcon)
        return;
    // Before the first scan there is nothing to count yet.
    if (!m_scanner.lastScan()) {
        m_trayIcon->setToolTip(tr("Tidewatch"));
        return;
    }
    const QList<ListeningPort>& ports = m_scanner.ports();
    const qsizetype hidden =
        m_systemPortsShown ? 0 : std::count_if(ports.cbegin(), ports.cend(), [](const auto& port) {
            return port.isSystem();
        });
    m_trayIcon->setToolTip(toolTipFor(ports.size() - hidden, hidden));
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
        m_trayIcon->setIcon(iconForTray());
    return QObject::eventFilter(watched, event);
}

void TrayShell::show()
{
    if (std::exchange(m_shown, true))
        return;
    followTrays();
    // Made with a tray there, the icon is shown within moments: the window waits that long
    // rather than flash up and go.
    if (!m_docked)
        QTimer::singleShot(iconShowingMs, this, [this] {
            m_iconWaitOver = true;
            followTrays();
        });
}

void TrayShell::followTrays()
{
    if (!m_trayIcon && m_hosts.state().any()) {
        makeIcon();
        m_hosts.followIcon();
    }
    // The window goes only once the icon is there to reach the program by: a tray may be
    // there and still not show the icon (Qt chose the other kind), or not yet.
    const bool docked = m_trayIcon && m_hosts.state().iconShown;
    if (!docked && !m_docked && m_trayIcon && !m_iconWaitOver)
        return;
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
    m_trayIcon = new QSystemTrayIcon(iconForTray(), this);
    updateToolTip();
    m_trayIcon->setContextMenu(m_menu.get());
    connect(m_trayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    togglePanel();
            });
    // Once shown, it stays: Qt docks it again when its tray comes back.
    m_trayIcon->show();
    fitEmbeddedIcon();
}

void TrayShell::fitEmbeddedIcon()
{
    // note: Qt's window for an icon in an X11 tray is at least 22 by 22 of its scaled
    // pixels. Scaled by 1.5 or 2 that is more than a tray 22 pixels high gives it, and the
    // icon, drawn at that size, is cut off at top and bottom. The window asks for the
    // standard 22 by 22 of the screen's pixels instead, and the icon is drawn whole in it.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (!widget->inherits("QSystemTrayIconSys"))
            continue;
        const QSize standard = (QSizeF(22, 22) / widget->devicePixelRatioF()).toSize();
        widget->setMinimumSize(standard);
        widget->resize(standard);
    }
}

QIcon TrayShell::iconForTray()
{
    m_iconTrayColor = m_hosts.trayColor();
    // A StatusNotifier host recolours a mask to suit its panel; an X11 tray shows the icon
    // as it is, over a background of its own.
    return m_iconIsStatusNotifier
               ? PanelStyle::trayMask(QGuiApplication::palette())
               : PanelStyle::trayIcon(m_iconTrayColor, QGuiApplication::palette());
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
    m_popupAnchor = anchor;
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

bool TrayShell::isOnIcon(const QPoint& at) const
{
    // Where the host does not say where its icon is, the popup opened at the pointer that
    // clicked it; a press near there is on the icon.
    const int reach = m_popupAnchor.width() <= 1 ? 12 : 0;
    return m_popupAnchor.adjusted(-reach, -reach, reach, reach).contains(at);
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
