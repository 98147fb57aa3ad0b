#include "qtdesktopservices.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QTimer>
#include <QWindow>

namespace {

void raiseAndActivate(QWindow* window)
{
    if (!window)
        return;
    window->raise();
    window->requestActivate();
}

} // namespace

bool QtDesktopServices::openUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

void QtDesktopServices::terminate()
{
    // Queued, so a call made before the event loop runs (a second instance at start-up)
    // still ends the program once it does.
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                              Qt::QueuedConnection);
}

void QtDesktopServices::activate()
{
    // Callers activate just before a dialog runs, so the dialog has no window yet: raise
    // it once its own event loop has shown it. note: on X11 the window manager may still
    // refuse to take focus from another application; this is best effort.
    raiseAndActivate(QGuiApplication::focusWindow());
    QTimer::singleShot(0, qGuiApp, [] { raiseAndActivate(QGuiApplication::modalWindow()); });
}

void QtDesktopServices::setAccessoryPolicy()
{
    // Kept as a step of the launch order, but a no-op: Linux has no Dock, and the program
    // opens no main window. A macOS build would set LSUIElement in its bundle instead.
}
