#include "autostartitem.h"

#include "desktopentry.h"

#include <QDir>

AutostartItem::AutostartItem(const Environment& environment)
    : LoginItem(environment, configFolder(environment) + QStringLiteral("/autostart/") +
                                 labelFor(environment) + QStringLiteral(".desktop"))
{}

QString AutostartItem::configFolder(const Environment& environment)
{
    // The base directory spec says a relative value is invalid and must be ignored.
    if (!environment.configHome.isEmpty() && QDir::isAbsolutePath(environment.configHome))
        return environment.configHome;
    return environment.homePath + QStringLiteral("/.config");
}

QByteArray AutostartItem::entryContents() const
{
    return DesktopEntry::autostartEntry(environment().desktopTemplate, environment().executablePath,
                                        label())
        .toUtf8();
}
