#pragma once

#include <QString>

// What the program knows about itself. Built once from the CMake project and handed to the
// code that reads it, so tests can give their own. An empty field counts as missing.
struct ApplicationInfo
{
    QString name;          // display name; missing: alerts say "This app"
    QString version;       // short version; missing: compared as "0"
    QString identifier;    // missing: no single-instance guard, autostart label falls back
    QString updateFeedUrl; // missing: no update checks
    QString organization;
    QString tipUrl;
    QString contactUrl;

    static ApplicationInfo fromBuild();
};
