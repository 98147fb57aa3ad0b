#include "privatepaths.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Gives the notices their translation context.
class PrivatePaths
{
    Q_DECLARE_TR_FUNCTIONS(PrivatePaths)
};

void tell(const QString& notice)
{
    std::fprintf(stderr, "tidewatch: %s\n", qPrintable(notice));
}

QString kindOf(mode_t mode)
{
    return S_ISLNK(mode)   ? PrivatePaths::tr("a symbolic link")
           : S_ISDIR(mode) ? PrivatePaths::tr("a folder")
                           : PrivatePaths::tr("a special file");
}

} // namespace

LockLeftover clearLockLeftover(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info = {};
    if (::lstat(name.constData(), &info) != 0 || S_ISREG(info.st_mode))
        return {};
    // Removing a name in the user's own folder touches nothing it points to.
    const bool removed =
        S_ISDIR(info.st_mode) ? ::rmdir(name.constData()) == 0 : ::unlink(name.constData()) == 0;
    const QString kind = kindOf(info.st_mode);
    if (!removed)
        return {LockLeftover::InTheWay, kind};
    tell(PrivatePaths::tr("removed %1 left at the lock path %2").arg(kind, path));
    return {LockLeftover::Cleared, kind};
}

bool isPrivateFolder(const QString& path, const QString& use)
{
    const QByteArray name = QFile::encodeName(path);
    // An existing folder is taken as it is, and looked at below.
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) {
        tell(PrivatePaths::tr("can't make the folder %1 for %2: %3")
                 .arg(path, use, QString::fromLocal8Bit(std::strerror(errno))));
        return false;
    }
    // O_NOFOLLOW: a link at the path is refused, not followed to whatever it names.
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat info = {};
    const bool opened = fd >= 0 && ::fstat(fd, &info) == 0;
    if (fd >= 0)
        ::close(fd);
    QString fault;
    if (!opened)
        fault = PrivatePaths::tr("it is not a folder (a symbolic link?)");
    else if (info.st_uid != ::geteuid())
        fault = PrivatePaths::tr("it belongs to another user (uid %1)").arg(info.st_uid);
    else if ((info.st_mode & 077) != 0)
        fault = PrivatePaths::tr("others may use it (mode %1)")
                    .arg(info.st_mode & 07777, 4, 8, QLatin1Char('0'));
    if (fault.isEmpty())
        return true;
    tell(PrivatePaths::tr("the folder %1 for %2 is not private: %3").arg(path, use, fault));
    return false;
}

QString moveAside(const QString& path)
{
    const QString stem = path + QStringLiteral(".moved-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString aside = attempt == 0 ? stem : stem + u'-' + QString::number(attempt);
        // Never over something: the folder is the user's own, so nobody else adds a name.
        struct stat info = {};
        if (::lstat(QFile::encodeName(aside).constData(), &info) == 0)
            continue;
        if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) ==
            0)
            return aside;
        return {};
    }
    return {};
}
