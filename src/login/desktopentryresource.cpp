#include "desktopentryresource.h"

#include <QFile>

QString desktopEntryResourcePath()
{
    return QStringLiteral(":/tidewatch.desktop");
}

QByteArray desktopEntryText()
{
    QFile file(desktopEntryResourcePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}
