#pragma once

#include "desktopentryresource.h"
#include "loginitem.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// A login item's surroundings in a fresh temporary folder: the user's home with no config
// folder set, the program's built-in desktop entry, the program the entry starts (at a path
// full of characters that either entry format must quote or escape, so every entry read back
// checks the round trip) and a launchctl that writes its arguments, one a line, to
// "launchctl.args", floods both of its pipes and fails.
struct LoginEnvironment : LoginItem::Environment
{
    QTemporaryDir dir;

    LoginEnvironment()
    {
        identifier = QStringLiteral("com.example.tidewatch");
        homePath = path(QStringLiteral("home"));
        executablePath =
            path(QStringLiteral("My Apps/Tide \"watch\" 'x' back\\slash $HOME `id` $(id) 100% %U "
                                "a=b;c&d|e<f>g*h?i#j~k\ttab\nnewline Grüße ☃ &amp;"));
        launchctlPath = path(QStringLiteral("launchctl"));
        desktopTemplate = QString::fromUtf8(desktopEntryText());
        write(executablePath, "#!/bin/sh\n");
        write(launchctlPath,
              "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" +
                  QFile::encodeName(path(QStringLiteral("launchctl.args"))) +
                  "'\nhead -c 1000000 /dev/zero\nhead -c 1000000 /dev/zero >&2\nexit 3\n",
              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString path(const QString& relative) const { return dir.filePath(relative); }

    // Puts something in the way of the entry at `entry` (CI runs as root, so no permissions):
    // "app gone", "file above" (a file where its folder belongs), "folder" (holding "keep"),
    // "link" (dangling), "link out" (to the file "outside") or "entry" (any file) at its path;
    // nothing for an empty obstacle.
    bool place(const QString& obstacle, const QString& entry) const
    {
        const QString above = QFileInfo(entry).absolutePath();
        if (obstacle == QLatin1String("app gone"))
            return QFile::remove(executablePath);
        if (obstacle == QLatin1String("file above"))
            return write(above);
        if (obstacle == QLatin1String("folder"))
            return QDir().mkpath(entry + QStringLiteral("/keep"));
        if (obstacle.startsWith(QLatin1String("link"))) {
            const QString target =
                path(obstacle == QLatin1String("link") ? QStringLiteral("nowhere")
                                                       : QStringLiteral("outside"));
            return QDir().mkpath(above) && (obstacle == QLatin1String("link") || write(target)) &&
                   QFile::link(target, entry);
        }
        return obstacle.isEmpty() || write(entry);
    }

    // Makes the folders above as needed.
    static bool write(const QString& path, const QByteArray& bytes = "x",
                      QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() &&
               file.setPermissions(permissions);
    }
    static QByteArray read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};
