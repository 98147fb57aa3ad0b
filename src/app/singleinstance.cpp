#include "singleinstance.h"

#include "privatepaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>

#include <unistd.h>

bool isAnotherInstanceRunning(const std::optional<QString>& identifier, qint64 ownPid,
                              const QList<qint64>& runningPids)
{
    if (!identifier || identifier->isEmpty())
        return false;
    return std::any_of(runningPids.cbegin(), runningPids.cend(),
                       [ownPid](qint64 pid) { return pid != ownPid; });
}

namespace {

QString withoutGuard()
{
    return QCoreApplication::translate("SingleInstanceGuard",
                                       "tidewatch: starting without the single-instance guard");
}

} // namespace

SingleInstanceGuard::SingleInstanceGuard(const std::optional<QString>& identifier,
                                         const QString& lockDirectory)
{
    if (!identifier || identifier->isEmpty())
        return;
    const QString directory = lockDirectory.isEmpty() ? defaultLockDirectory() : lockDirectory;
    // Another user who made the folder first could hold the lock in it, or put anything
    // at its path: without a private folder, better a copy without the guard than none.
    if (!isPrivateFolder(directory, QCoreApplication::translate("SingleInstanceGuard",
                                                                "the single-instance lock"))) {
        std::fprintf(stderr, "%s\n", qPrintable(withoutGuard()));
        return;
    }
    const QString lockFilePath = QDir(directory).filePath(*identifier + QStringLiteral(".lock"));
    // Before QLockFile looks: it would wait for ever on a folder or a link, or block
    // reading a FIFO to learn who holds it.
    const LockLeftover leftover = clearLockLeftover(lockFilePath);
    if (leftover.outcome == LockLeftover::InTheWay) {
        std::fprintf(
            stderr, "%s\n",
            qPrintable(QCoreApplication::translate("SingleInstanceGuard",
                                                   "tidewatch: %1 is in the way of the lock at %2")
                           .arg(leftover.kind, lockFilePath)));
        std::fprintf(stderr, "%s\n", qPrintable(withoutGuard()));
        return;
    }
    // A running instance keeps its lock however old it is: Qt clears a stale-looking lock
    // (dead holder, or older than the stale time with no readable holder) only when it can
    // take the holder's flock, which a live holder never lets go.
    m_lock = std::make_unique<QLockFile>(lockFilePath);

    const qint64 ownPid = QCoreApplication::applicationPid();
    QList<qint64> runningPids;
    const bool locked = m_lock->tryLock(0);
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
