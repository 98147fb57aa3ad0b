#include "applicationinfo.h"
#include "portlistview.h"
#include "portscanner.h"
#include "qtdesktopservices.h"
#include "singleinstance.h"
#include "trayshell.h"

#include <QApplication>
#include <QSystemTrayIcon>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
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

    QtDesktopServices desktop;
    PortScanner scanner(PortScanner::platformSource(), desktop);
    TrayShell shell(new PortListView(scanner, desktop, info), desktop,
                    QSystemTrayIcon::isSystemTrayAvailable());
    shell.show();
    return app.exec();
}
