#pragma once

#include <QByteArray>
#include <QString>

// The freedesktop entry installed into share/applications is also built into the
// resources, so the autostart entry can be written from the same text.

// ":/tidewatch.desktop"
QString desktopEntryResourcePath();
// The entry's text; empty only if the resource is missing from the build.
QByteArray desktopEntryText();
