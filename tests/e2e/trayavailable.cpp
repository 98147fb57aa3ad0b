// Exits 0 when the display has a system tray and 1 when it has none: the end-to-end test
// makes sure that its run without a tray has none.
#include <QApplication>
#include <QSystemTrayIcon>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    return QSystemTrayIcon::isSystemTrayAvailable() ? 0 : 1;
}
