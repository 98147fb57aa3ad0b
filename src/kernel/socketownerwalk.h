#pragma once

#include "listeningsocket.h"
#include "ownerfacts.h"
#include "processstat.h"
#include "procfiles.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

// Finds the processes that hold the listening sockets: every /proc/<pid>/fd entry that
// links to socket:[inode], named by /proc/<pid>/comm, with the start time from
// /proc/<pid>/stat. Processes that vanish during the
// walk, or whose descriptors we may not read, are skipped, as lsof skips them.
//
// Walking every descriptor of every process costs about as much as `ss -ltnp`, every
// scan, for a list that rarely changes. So the walk remembers, per process, its identity,
// its descriptor count and which descriptors held listening sockets. One fstatat of
// /proc/<pid>/fd gives the first two: its size is the count (Linux 6.2 and later), and
// its inode is made anew for every process that takes the pid. A later scan walks only:
//   - processes that are new, or whose pid is now another process's;
//   - processes whose descriptor count changed, or one of whose remembered listening
//     descriptors no longer links to the same socket (one readlink each, for sockets that
//     another process holds too: where every process can be read, a socket that only this
//     process held and that still listens is still held by it, unless it went elsewhere,
//     and whoever has it now shows up, which brings the readlink after all);
//   - processes whose descriptors could not all be read last time.
// It lists /proc only when a pid was handed out since the last scan (the last field of
// /proc/loadavg, when /proc shows our own pid namespace): otherwise no process is new.
// So a process that holds no listening socket costs one system call a scan. The names of
// the owners are re-read on every scan, since an exec or a PR_SET_NAME changes them.
// While the descriptor budget lasts, an owner's fd folder and comm stay open between
// scans, and so does the fd folder of other processes (with a quarter of the budget left
// for owners), which spares the path lookups; an open handle also pins the process: once it
// has ended, the handle answers ENOENT or ESRCH, whoever has its pid by then.
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
// the list until the next full walk, at most fullWalkEvery later. Likewise a process that
// sends away (SCM_RIGHTS) a listening socket that only it held and puts another
// descriptor in its place stays listed for it while the socket is in flight.
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

    // heldDescriptors: how many descriptors the walk may keep open between scans.
    explicit SocketOwnerWalk(std::chrono::milliseconds fullWalkEvery, int heldDescriptors = 0);
    ~SocketOwnerWalk();

    // Called for each descriptor that holds one of the sockets, with the socket's inode, the
    // holder's start time (as /proc/<pid>/stat gives it) and what else its files tell.
    using OwnerFound = std::function<void(quint64 inode, qint32 pid, const QString& name,
                                          quint64 startTime, const OwnerFacts::Facts& facts)>;

    // Reports the holders of sockets. procFd is the open /proc (or a stand-in). False, with
    // errno set, when the processes cannot be listed.
    bool findOwners(int procFd, const ListeningSockets& sockets, bool forceFullWalk,
                    const OwnerFound& found);
    // Whether the last findOwners reported what the one before it did: the same holders
    // under the same names.
    bool sameOwnersAsBefore() const { return m_sameOwners; }
    const Counts& counts() const { return m_counts; }
    void setFullWalkEvery(std::chrono::milliseconds every) { m_fullWalkEvery = every; }

private:
    struct ListeningDescriptor
    {
        int fd;
        quint64 inode;
        bool shared = false; // at the last scan, another process held the socket too
    };
    enum class Access : quint8
    {
        Readable,
        Unreadable,  // its descriptor folder is not ours to open
        LinksDenied, // the folder opens, but its links are not ours to read
    };
    // A process's fd folder (O_PATH) and, for an owner, its comm, kept open; counted
    // against the budget.
    struct Handles
    {
        ProcFiles::Fd folder;
        ProcFiles::Fd comm; // owners only
        int* held;
        ~Handles() { *held -= 1 + (comm.isValid() ? 1 : 0); }
    };
    struct KnownProcess
    {
        Access access = Access::Readable;
        int deniedFd = -1;    // LinksDenied: a descriptor whose link we may not read
        quint64 identity = 0; // the inode of its /proc/<pid>/fd
        qint64 descriptorCount = 0;
        std::vector<ListeningDescriptor> listening;
        QByteArray rawName;
        QString name;          // escaped as lsof prints it; set when listening is not empty
        quint64 startTime = 0; // likewise
        // Read with the start time, and again when the name changes (an exec): never on a
        // steady scan. Held apart, since most processes own no socket and a steady scan
        // runs through them all.
        std::unique_ptr<const OwnerFacts::Facts> facts;
        std::unique_ptr<Handles> handles;
        quint64 lastSeen = 0; // the listing that last found it
        bool vouched = false; // false: walk it afresh next time
        bool trusted = false; // this scan took a link on trust
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
    bool refresh(int procFd, const char* pid, KnownProcess& process);
    Visit walk(int procFd, const char* pid, const ListeningSockets& sockets, KnownProcess& process);
    // walk(), noting whether what the process holds changed.
    Visit walkNoting(int procFd, const char* pid, bool isKnown, const ListeningSockets& sockets,
                     KnownProcess& process);
    void settleTrustedLinks(int procFd, const ListeningSockets& sockets);
    bool linkHolds(int procFd, const char* pid, const KnownProcess& process,
                   const ListeningDescriptor& descriptor) const;
    // Opens what the process's handles lack (comm for an owner, which comes first) or
    // closes what it no longer needs, as far as the budget goes.
    void keepHandles(int fdsFd, KnownProcess& process, bool owner);
    // Our own process's count changes with what a scan holds open: that much is left out.
    qint64 ownDescriptors(const char* pid, bool walking) const;

    std::chrono::milliseconds m_fullWalkEvery;
    const int m_heldBudget;
    int m_held = 0; // before m_known, which gives it back as it goes
    std::optional<std::chrono::steady_clock::time_point> m_lastFullWalk;
    ListeningSockets m_sockets;                       // as the last scan read them
    std::unordered_map<qint32, KnownProcess> m_known; // values are move-only
    quint64 m_scan = 0;
    // The pid namespace's last pid at the previous scan, when /proc lists our namespace.
    bool m_pidCursorTrusted = false;
    std::optional<quint64> m_pidCursor;
    bool m_sameOwners = false;
    bool m_listing = false;   // /proc's listing is open
    bool m_walkedAny = false; // this scan walked a process
    // Processes whose descriptors this scan could not all read: another user's hold
    // sockets unseen, so that a socket that still listens proves no holder of ours.
    int m_hidden = 0;
    bool m_seesAll = false; // the last scan read every process's descriptors
    char m_ownPid[16];
    Counts m_counts;
};
