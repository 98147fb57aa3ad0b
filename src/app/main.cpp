#include "adminfree.h"
#include "applicationinfo.h"
#include "containernames.h"
#include "containerstopper.h"
#include "desktopentryresource.h"
#include "loginitem.h"
#include "messageboxalerts.h"
#include "othermachinesdialog.h"
#include "portchangenotifier.h"
#include "portlistview.h"
#include "portscanner.h"
#include "preferencesfile.h"
#include "privatepaths.h"
#include "processcontrol.h"
#include "processdetails.h"
#include "qtdesktopservices.h"
#include "remotemachines.h"
#include "sessionbus.h"
#include "signalnotifier.h"
#include "settingsblock.h"
#include "singleinstance.h"
#include "sshconfighosts.h"
#include "translations.h"
#include "trayhosts.h"
#include "trayshell.h"
#include "unitstopper.h"
#include "updatechecker.h"
#include "updateprompter.h"

#include <QApplication>
#include <QDir>
#include <QSettings>

#include <csignal>
#include <cstdio>

using namespace std::chrono_literals;

int main(int argc, char* argv[])
{
    // Asked before Qt connects to the bus: Qt waits 25 s on a bus that takes the connection
    // and never answers, at the first use of each of its parts (the tray icon, the
    // accessibility bridge). Without the bus they all fail at once.
    const bool silentBus = isSilentSessionBus(defaultSessionBusAddress(), 2s);
    if (silentBus)
        qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    QApplication app(argc, argv);
    installTranslations();
    if (silentBus)
        std::fprintf(stderr, "%s\n",
                     qPrintable(QCoreApplication::translate(
                         "main", "tidewatch: the session bus does not answer; starting without "
                                 "it (no StatusNotifierItem tray icon, no notifications, no "
                                 "accessibility bridge)")));
    // Only Quit or the system end the program, not closing a window.
    QApplication::setQuitOnLastWindowClosed(false);

    const ApplicationInfo info = ApplicationInfo::fromBuild();
    QApplication::setOrganizationName(info.organization);
    QApplication::setApplicationName(info.name);
    QApplication::setApplicationVersion(info.version);
    QGuiApplication::setDesktopFileName(info.identifier);

    const SingleInstanceGuard guard(info.identifier.isEmpty() ? std::nullopt
                                                              : std::optional{info.identifier});
    if (guard.isDuplicate())
        return 0;
    // The end of a session (SIGHUP, SIGTERM) or Ctrl+C quits as Quit does: the destructors
    // then end the forwards' ssh and close the kept connections.
    const SignalNotifier quitSignals({SIGTERM, SIGINT, SIGHUP});
    QObject::connect(&quitSignals, &SignalNotifier::received, qApp, &QCoreApplication::quit);
    // Before the first QSettings reads the file.
    const PreferencesFile preferencesFile =
        PreferencesFile::prepare(PreferencesFile::defaultPath());

    QtDesktopServices desktop;
    desktop.setAccessoryPolicy();
    // Port proxies' containers are named by the container engine, asked from this thread.
    const std::shared_ptr<ContainerNames> containerNames = ContainerNames::makeShared();
    PortScanner scanner(makePlatformPortSource(containerNames));
    const auto loginItem = LoginItem::forPlatform({
        .identifier = info.identifier,
        .homePath = QDir::homePath(),
        .configHome = qEnvironmentVariable("XDG_CONFIG_HOME"),
        .executablePath = QCoreApplication::applicationFilePath(),
        .desktopTemplate = QString::fromUtf8(desktopEntryText()),
    });
    const auto processDetails = ProcessDetailsProvider::platform();
    QSettings preferences(preferencesFile.path, QSettings::IniFormat);
    // Other machines over the user's ssh, each over one kept connection whose control socket
    // sits in a folder only this user may enter. Declared before the panel, which uses it:
    // going last, it ends every forward and closes the kept connections.
    const QString runtime = SingleInstanceGuard::defaultLockDirectory();
    const QString controlFolder = runtime + QStringLiteral("/ssh");
    const QString controlUse = QCoreApplication::translate("main", "ssh's kept connections");
    RemoteMachines machines({.controlFolder = isPrivateFolder(runtime, controlUse) &&
                                                      isPrivateFolder(controlFolder, controlUse)
                                                  ? controlFolder
                                                  : QString()});
    const QString hostsKey = QStringLiteral("otherMachines/hosts");
    machines.setHosts(preferences.value(hostsKey).toStringList());
    auto* panel = new PortListView(scanner, desktop, *processDetails, info);
    panel->setRemoteMachines(&machines);
    if (!preferencesFile.notices.isEmpty())
        panel->showNotice(preferencesFile.notices.join(u'\n'));
    auto* settings = new SettingsBlock(*loginItem);
    panel->setSettingsWidget(settings);
    // What stops a port's owner for good: its unit, its container, or, for another user's
    // port, an administrator (root needs none).
    UnitStopper units;
    ContainerStopper containers(ContainerNames::defaultSocketPath());
    AdminFree admin(QStringLiteral("pkexec"), AdminFree::toolBesideProgram());
    panel->setStoppers(
        {ProcessTable::platform(), &units, &containers,
         ProcessControl::platform()->ownUid() != 0 ? &admin : nullptr,
         [containerNames](const QString& id) { return containerNames->nameAt(id); }});

    QObject::connect(settings, &SettingsBlock::otherMachinesRequested, panel, [&] {
        const QString sshFolder = QDir::home().filePath(QStringLiteral(".ssh"));
        auto* dialog = new OtherMachinesDialog(
            readSshConfigHosts(sshFolder + QStringLiteral("/config"), sshFolder), machines.hosts());
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(dialog, &QDialog::accepted, &machines, [&, dialog] {
            machines.setHosts(dialog->hosts());
            preferences.setValue(hostsKey, machines.hosts());
        });
        dialog->show();
        dialog->raise();
        dialog->activateWindow();
    });

    // The one update prompter: checks shortly after start, then daily, and when asked.
    const UpdateChecker updateChecker(info);
    MessageBoxAlerts updateAlerts;
    UpdatePrompter updates(updateChecker, preferences, updateAlerts, desktop);
    settings->setUpdateChecksAvailable(updateChecker.canCheck());
    const auto checkNow = [&updates] { updates.checkNow(true); };
    QObject::connect(settings, &SettingsBlock::checkForUpdatesRequested, &updates, checkNow);
    updates.start();

    // Off until the user ticks it in the panel.
    PortChangeNotifier portNotices(scanner, desktop, preferences);
    settings->setNotifyOnPortChanges(portNotices.isEnabled());
    QObject::connect(settings, &SettingsBlock::notifyOnPortChangesToggled, &portNotices,
                     &PortChangeNotifier::setEnabled);
    QObject::connect(&portNotices, &PortChangeNotifier::unavailable, panel,
                     &PortListView::showNotice);

    const auto trays = makePlatformTrayHosts();
    TrayShell shell(panel, scanner, desktop, *trays);
    shell.bindOpenAtLogin(*settings);
    shell.setUpdateChecksOffered(updateChecker.canCheck());
    QObject::connect(panel, &PortListView::systemPortsShownChanged, &shell,
                     &TrayShell::setSystemPortsShown);
    QObject::connect(&shell, &TrayShell::checkForUpdatesRequested, &updates, checkNow);
    shell.show();
    return app.exec();
}
