#pragma once

#include "portlistbuilder.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>

#include <chrono>
#include <optional>
#include <vector>

// Socket inode -> local port, for the TCP sockets in the LISTEN state.
using ListeningSockets = QHash<quint64, quint16>;

// The two fields of /proc/<pid>/stat that the walk needs.
struct ProcessStat
{
    QByteArrayView name; // the raw command name, as /proc/<pid>/comm has it
    quint64 startTime = 0;
};
// Parses one /proc/<pid>/stat line: "pid (name) state ppid ... starttime ...". The name may
// hold any byte, ')' and spaces included, so it ends at the last ')'.
std::optional<ProcessStat> parseProcessStat(QByteArrayView line);

// Finds the processes that hold the listening sockets: every /proc/<pid>/fd entry that
// links to socket:[inode], named by /proc/<pid>/stat. Processes that vanish during the
// walk, or whose descriptors we may not read, are skipped, as lsof skips them.
//
// Walking every descriptor of every process costs about as much as `ss -ltnp`, every
// scan, for a list that rarely changes. So the walk remembers, per process, its identity
// (pid and start time), its descriptor count (the size of /proc/<pid>/fd, Linux 6.2 and
// later) and which descriptors held listening sockets, and a later scan walks only:
//   - processes that are new, or whose pid now has another start time;
//   - processes whose descriptor count changed, or one of whose remembered listening
//     descriptors no longer links to the same socket (one readlink each);
//   - processes whose descriptors could not all be read last time.
// The names of the owners are re-read on every scan, since an exec changes them.
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
    };

    explicit SocketOwnerWalk(std::chrono::milliseconds fullWalkEvery);

    // Adds the owners of sockets to builder. procFd is the open /proc (or a stand-in).
    void findOwners(int procFd, const ListeningSockets& sockets, bool forceFullWalk,
                    PortListBuilder& builder);
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
        int deniedFd = -1; // LinksDenied: a descriptor whose link we may not read
        quint64 startTime = 0;
        qint64 descriptorCount = 0;
        std::vector<ListeningDescriptor> listening;
        QByteArray rawName;
        QString name; // escaped as lsof prints it; set when listening is not empty
    };
    enum class Visit
    {
        Gone,     // vanished, or never a process: nothing to add or keep
        Remember, // the process and what it holds can be vouched for
        UseOnce,  // add what was found, but walk it afresh next time
    };

    bool needsFullWalk(int procFd, const ListeningSockets& sockets, bool forceFullWalk,
                       std::chrono::steady_clock::time_point now) const;
    // process holds what was known of this pid, if isKnown, and is updated in place.
    Visit visit(int procFd, const char* pid, bool isKnown, const ListeningSockets& sockets,
                KnownProcess& process);
    // True when a known process is still the one remembered, holding the same listening
    // descriptors; its name is brought up to date.
    bool refresh(int procFd, const char* pid, KnownProcess& process) const;
    Visit walk(int procFd, const char* pid, const ListeningSockets& sockets, KnownProcess& process);

    const std::chrono::milliseconds m_fullWalkEvery;
    std::optional<std::chrono::steady_clock::time_point> m_lastFullWalk;
    ListeningSockets m_sockets; // as the last scan read them
    QHash<qint32, KnownProcess> m_known;
    Counts m_counts;
};
