#pragma once

#include <QString>
#include <QStringList>

// The preferences file, looked at before the first QSettings opens it: QSettings reads the
// whole file at once (a FIFO blocks the read, a huge file fills the memory) and waits for
// ever on its lock file when something else is at the lock's path.
struct PreferencesFile
{
    // No file the program writes comes near this.
    static constexpr qint64 maxSize = 1024 * 1024;

    // Where QSettings keeps the application's preferences by default, the user's config
    // folder: ORGANIZATION/APPLICATION.conf.
    static QString defaultPath();

    // A file at `path` that is not a regular file (a link is followed) or is larger than
    // maxSize is moved aside, kept under a new name, and the defaults are used; leftovers at
    // its lock path are cleared, or moved aside. What was done is said on standard error and
    // in `notices`. `path` is empty when something is in the way and can't be moved: then
    // the preferences are kept only while the program runs.
    static PreferencesFile prepare(const QString& path);

    QString path;
    QStringList notices;
};
