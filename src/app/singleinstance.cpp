#include "singleinstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>

#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class Leftover
{
    None,     // a regular file, which a running copy may hold
    Cleared,  // something no copy could hold was in the way, and is gone now
    InTheWay, // something no copy could hold is in the way, and can't be safely removed
};

// QLockFile only ever makes regular files, so a link (dangling or not), a folder or any
// other kind of file at the lock's path is a leftover, held by no running copy. A link is
// removed itself, never what it points to; a folder only when it is empty.
Leftover clearLeftover(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info = {};
    if (::lstat(name.constData(), &info) != 0 || S_ISREG(info.st_mode))
        return Leftover::None;
    const bool removed = S_ISLNK(info.st_mode)   ? ::unlink(name.constData()) == 0
                         : S_ISDIR(info.st_mode) ? ::rmdir(name.constData()) == 0
                                                 : false;
    const QString kind = S_ISLNK(info.st_mode)
                             ? QCoreApplication::translate("SingleInstanceGuard", "a symbolic link")
                         : S_ISDIR(info.st_mode)
                             ? QCoreApplication::translate("SingleInstanceGuard", "a folder")
                             : QCoreApplication::translate("SingleInstanceGuard", "a special file");
    const QString notice =
        removed ? QCoreApplication::translate("SingleInstanceGuard",
                                              "tidewatch: removed %1 left at the lock path %2")
                : QCoreApplication::translate("SingleInstanceGuard",
                                              "tidewatch: %1 is in the way of the lock at %2; "
                                              "starting without the single-instance guard");
    std::fprintf(stderr, "%s\n", qPrintable(notice.arg(kind, path)));
    if (removed)
        return Leftover::Cleared;
    return Leftover::InTheWay;
}

} // namespace

bool isAnotherInstanceRunning(const std::optional<QString>& identifier, qint64 ownPid,
                              const QList<qint64>& runningPids)
{
    if (!identifier || identifier->isEmpty())
        return false;
    return std::any_of(runningPids.cbegin(), runningPids.cend(),
                       [ownPid](qint64 pid) { return pid != ownPid; });
}

SingleInstanceGuard::SingleInstanceGuard(const std::optional<QString>& identifier,
                                         const QString& lockDirectory)
{
    if (!identifier || identifier->isEmpty())
        return;
    const QString directory = lockDirectory.isEmpty() ? defaultLockDirectory() : lockDirectory;
    QDir().mkpath(directory);
    const QString lockFilePath = QDir(directory).filePath(*identifier + QStringLiteral(".lock"));
    // A running instance keeps its lock however old it is: Qt clears a stale-looking lock
    // (dead holder, or older than the stale time with no readable holder) only when it can
    // take the holder's flock, which a live holder never lets go.
    m_lock = std::make_unique<QLockFile>(lockFilePath);

    const qint64 ownPid = QCoreApplication::applicationPid();
    QList<qint64> runningPids;
    bool locked = m_lock->tryLock(0);
    if (!locked && m_lock->error() == QLockFile::LockFailedError) {
        switch (clearLeftover(lockFilePath)) {
        case Leftover::None:
            break;
        case Leftover::Cleared:
            locked = m_lock->tryLock(0);
            break;
        case Leftover::InTheWay:
            // Better a copy without the guard than no copy at all.
            return;
        }
    }
    if (locked) {
        runningPids.append(ownPid);
    } else if (m_lock->error() == QLockFile::LockFailedError) {
        qint64 holder = 0;
        QString hostName;
        QString appName;
        // The holder may not have written its pid yet; 0 still stands for someone else.
        if (!m_lock->getLockInfo(&holder, &hostName, &appName))
            holder = 0;
        // A lock that names our own pid was left by an earlier process whose pid we
        // reuse (after a reboot, in a container): take it over.
        if (holder == ownPid && m_lock->removeStaleLockFile())
            m_lock->tryLock(0);
        runningPids.append(holder);
    }
    // Any other failure (no writable folder) leaves no known instance: better two copies
    // than none.
    m_duplicate = isAnotherInstanceRunning(identifier, ownPid, runningPids);
}

SingleInstanceGuard::~SingleInstanceGuard() = default;

QString SingleInstanceGuard::defaultLockDirectory()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        return runtime;
    return QDir(QDir::tempPath()).filePath(QStringLiteral("tidewatch-%1").arg(::getuid()));
}
