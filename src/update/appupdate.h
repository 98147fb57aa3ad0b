#pragma once

#include <QString>
#include <QUrl>

// One available update, as the feed names it.
struct AppUpdate
{
    QString version; // exactly as the feed gives it, never normalised
    QString notes;   // empty when the feed has none
    QUrl url;        // the download page; always http or https with a host

    friend bool operator==(const AppUpdate&, const AppUpdate&) = default;
};
