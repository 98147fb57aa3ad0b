#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include <memory>
#include <optional>

class QLockFile;

// The guard's decision: another instance runs when the application has an identifier and
// some running instance with that identifier has a pid other than ours. No identifier, no
// guard.
bool isAnotherInstanceRunning(const std::optional<QString>& identifier, qint64 ownPid,
                              const QList<qint64>& runningPids);

// A per-user lock named by the application identifier. Taking the lock is atomic, so of
// several copies that start at the same moment exactly one holds it. A lock left by a dead
// process is cleared and taken over. The lock lasts as long as this object. Where the lock's
// folder is not the user's own and private (another user could hold the lock in it), or
// something that can't be cleared is at the lock's path, the copy starts without the guard
// and says so on standard error.
class SingleInstanceGuard
{
public:
    // lockDirectory empty: the user's runtime folder.
    explicit SingleInstanceGuard(const std::optional<QString>& identifier,
                                 const QString& lockDirectory = {});
    ~SingleInstanceGuard();
    SingleInstanceGuard(const SingleInstanceGuard&) = delete;
    SingleInstanceGuard& operator=(const SingleInstanceGuard&) = delete;

    // True when this copy should quit quietly.
    bool isDuplicate() const { return m_duplicate; }

    // The user's runtime folder, or a per-user folder in temp where there is none.
    static QString defaultLockDirectory();

private:
    std::unique_ptr<QLockFile> m_lock;
    bool m_duplicate = false;
};
