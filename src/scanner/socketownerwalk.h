#pragma once

#include "listeningsocket.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

// Finds the processes that hold the listening sockets: every /proc/<pid>/fd entry that
// links to socket:[inode], named by /proc/<pid>/comm. Processes that vanish during the
// walk, or whose descriptors we may not read, are skipped, as lsof skips them.
//
// Walking every descriptor of every process costs about as much as `ss -ltnp`, every
// scan, for a list that rarely changes. So the walk remembers, per process, its identity,
// its descriptor count and which descriptors held listening sockets. One fstatat of
// /proc/<pid>/fd gives the first two: its size is the count (Linux 6.2 and later), and
// its inode is made anew for every process that takes the pid. A later scan walks only:
//   - processes that are new, or whose pid is now another process's;
//   - processes whose descriptor count changed, or one of whose remembered listening
//     descriptors no longer links to the same socket (one readlink each);
//   - processes whose descriptors could not all be read last time.
// It lists /proc only when a pid was handed out since the last scan (the last field of
// /proc/loadavg, when /proc shows our own pid namespace): otherwise no process is new.
// So a process that holds no listening socket costs one system call a scan. The names of
// the owners are re-read on every scan, since an exec or a PR_SET_NAME changes them.
// Every process is walked afresh (a full walk) when there is no state yet, when a
// listening socket appeared or changed its port (its owner may be any process), when the
// descriptor count cannot be read, when asked to, and at least every fullWalkEvery.
// Sockets that stop listening need no walk: every holder of a socket that listens now
// was seen when it was already listening.
//
// What this cannot see: a process that receives a descriptor to an already-known
// listening socket from another process (SCM_RIGHTS, pidfd_getfd) while closing another
// descriptor in the same interval, so that its count stays the same; and likewise a
// listening descriptor moved (dup, then close of the old number) to a number this walk
// had already passed while it was reading that process. Such an owner is missing from
// the list until the next full walk, at most fullWalkEvery later.
//
// Not thread-safe: callers serialise calls.
class SocketOwnerWalk
{
public:
    struct Counts
    {
        quint64 fullWalks = 0;
        quint64 partialScans = 0;    // scans that walked only what may have changed
        quint64 processesWalked = 0; // processes whose descriptors were all read
        quint64 listingsSkipped = 0; // partial scans that knew no process was new
    };

    explicit SocketOwnerWalk(std::chrono::milliseconds fullWalkEvery);

    // Called for each descriptor that holds one of the sockets, with the socket's inode.
    using OwnerFound = std::function<void(quint64 inode, qint32 pid, const QString& name)>;

    // Reports the holders of sockets. procFd is the open /proc (or a stand-in). False, with
    // errno set, when the processes cannot be listed.
    bool findOwners(int procFd, const ListeningSockets& sockets, bool forceFullWalk,
                    const OwnerFound& found);
    const Counts& counts() const { return m_counts; }

private:
    struct ListeningDescriptor
    {
        int fd;
        quint64 inode;
    };
    enum class Access : quint8
    {
        Readable,
        Unreadable,  // its descriptor folder is not ours to open
        LinksDenied, // the folder opens, but its links are not ours to read
    };
    struct KnownProcess
    {
        Access access = Access::Readable;
        int deniedFd = -1;    // LinksDenied: a descriptor whose link we may not read
        quint64 identity = 0; // the inode of its /proc/<pid>/fd
        qint64 descriptorCount = 0;
        std::vector<ListeningDescriptor> listening;
        QByteArray rawName;
        QString name;         // escaped as lsof prints it; set when listening is not empty
        quint64 lastSeen = 0; // the listing that last found it
        bool vouched = false; // false: walk it afresh next time
    };
    enum class Visit
    {
        Gone,     // vanished: nothing to add or keep
        Remember, // the process and what it holds can be vouched for
        UseOnce,  // add what was found, but walk it afresh next time
    };

    bool needsFullWalk(int procFd, const ListeningSockets& sockets, bool forceFullWalk,
                       std::chrono::steady_clock::time_point now) const;
    // process holds what was known of this pid, if isKnown, and is updated in place.
    Visit visit(int procFd, const char* pid, bool isKnown, const ListeningSockets& sockets,
                KnownProcess& process);
    // True when a known process is still the one remembered, holding the same listening
    // descriptors; the name of an owner is brought up to date.
    bool refresh(int procFd, const char* pid, KnownProcess& process) const;
    Visit walk(int procFd, const char* pid, const ListeningSockets& sockets, KnownProcess& process);

    const std::chrono::milliseconds m_fullWalkEvery;
    std::optional<std::chrono::steady_clock::time_point> m_lastFullWalk;
    ListeningSockets m_sockets; // as the last scan read them
    QHash<qint32, KnownProcess> m_known;
    quint64 m_scan = 0;
    // The pid namespace's last pid at the previous scan, when /proc lists our namespace.
    bool m_pidCursorTrusted = false;
    std::optional<quint64> m_pidCursor;
    Counts m_counts;
};
