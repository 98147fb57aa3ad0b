#include "qtdesktopservices.h"

// note: macOS posts notifications through UNUserNotificationCenter, which needs a signed
// bundle; until the program has one, nothing shows.
void QtDesktopServices::notify(const QString&) {}

void QtDesktopServices::checkNotifications() {}
