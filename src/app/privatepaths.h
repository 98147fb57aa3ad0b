#pragma once

#include <QString>

// Paths the program keeps its own state at (the single-instance lock, the preferences),
// looked at with lstat before Qt opens them: QLockFile waits for ever on a folder or a
// dangling link at its path, and a FIFO blocks whoever reads it.

// What was at a lock file's path.
struct LockLeftover
{
    enum Outcome
    {
        None,     // nothing, or a regular file, which a running program may hold
        Cleared,  // something no program could hold was in the way, and is gone now
        InTheWay, // something no program could hold is in the way, and can't be removed
    };
    Outcome outcome = None;
    QString kind; // "a folder", "a symbolic link"...: for the notice
};

// QLockFile only ever makes regular files, so anything else at a lock's path is a
// leftover, held by no running program. A link is removed itself, never what it points
// to; a folder only when it is empty. What was removed is said on standard error.
LockLeftover clearLockLeftover(const QString& path);

// True when `path` is a folder of this user's that no one else may enter, made private if
// it was missing. Looked at without following a link: a link, another user's folder or
// one others may enter is refused, and why is said on standard error (`use` says what the
// folder was for).
bool isPrivateFolder(const QString& path, const QString& use);

// Renames `path` to a free name beside it, "NAME.moved-YYYYMMDD-hhmmss" (a counter added
// if that is taken); the new path, or empty when it could not be moved.
QString moveAside(const QString& path);
