// Exits 0 when the display has a system tray and 1 when it has none. The program asks this
// once at start-up; the end-to-end test asks it the same way before starting it, so a tray
// host that is still starting cannot turn a tray run into a window run.
#include <QApplication>
#include <QSystemTrayIcon>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    return QSystemTrayIcon::isSystemTrayAvailable() ? 0 : 1;
}
