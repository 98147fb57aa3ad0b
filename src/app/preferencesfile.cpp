#include "preferencesfile.h"

#include "privatepaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cstdio>

#include <sys/stat.h>

QString PreferencesFile::defaultPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QCoreApplication::organizationName() + u'/' +
                  QCoreApplication::applicationName() + QStringLiteral(".conf"));
}

PreferencesFile PreferencesFile::prepare(const QString& path)
{
    PreferencesFile result{path, {}};
    const auto tell = [&result](const QString& notice) {
        std::fprintf(stderr, "tidewatch: %s\n", qPrintable(notice));
        result.notices.append(notice);
    };
    struct stat info = {};
    // Followed: a link to a file kept elsewhere (dotfiles) is the file.
    if (::stat(QFile::encodeName(path).constData(), &info) == 0 &&
        (!S_ISREG(info.st_mode) || info.st_size > maxSize)) {
        const QString what =
            S_ISREG(info.st_mode)
                ? QCoreApplication::translate("PreferencesFile", "a file of %1 MiB")
                      .arg(info.st_size / (1024 * 1024))
                : QCoreApplication::translate("PreferencesFile", "not a file");
        const QString aside = moveAside(path);
        if (aside.isEmpty()) {
            tell(QCoreApplication::translate(
                     "PreferencesFile",
                     "The preferences at %1 are %2 and can't be moved aside; the preferences "
                     "are kept only until Tidewatch quits.")
                     .arg(path, what));
            result.path.clear();
            return result;
        }
        tell(QCoreApplication::translate("PreferencesFile",
                                         "The preferences at %1 were %2: they are kept as %3, "
                                         "and the defaults are used.")
                 .arg(path, what, aside));
    }
    const QString lockPath = path + QStringLiteral(".lock");
    const LockLeftover leftover = clearLockLeftover(lockPath);
    if (leftover.outcome != LockLeftover::InTheWay)
        return result;
    const QString aside = moveAside(lockPath);
    if (aside.isEmpty()) {
        tell(QCoreApplication::translate("PreferencesFile",
                                         "%1 is in the way of the preferences' lock at %2; "
                                         "the preferences are kept only until Tidewatch quits.")
                 .arg(leftover.kind, lockPath));
        result.path.clear();
    } else {
        tell(QCoreApplication::translate("PreferencesFile",
                                         "%1 was in the way of the preferences' lock at %2: "
                                         "it is kept as %3.")
                 .arg(leftover.kind, lockPath, aside));
    }
    return result;
}
