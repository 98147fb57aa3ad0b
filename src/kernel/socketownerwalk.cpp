#include "socketownerwalk.h"

#include "commandname.h"
#include "procfiles.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <string_view>
#include <sys/stat.h>

using namespace ProcFiles;

namespace {

bool isGone(int error)
{
    return error == ENOENT || error == ESRCH;
}

bool isDenied(int error)
{
    return error == EACCES || error == EPERM;
}

// The command name from /proc/<pid>/comm, which holds the name and a newline, whatever
// bytes the name holds: through a path relative to dirFd, or from an open comm.
std::optional<QByteArray> readCommandName(int dirFd, const char* path)
{
    char line[64];
    const qsizetype length = readLine(dirFd, path, line, sizeof line);
    if (length <= 0)
        return std::nullopt;
    return QByteArray(line, length - 1);
}

std::optional<QByteArray> readCommandName(int commFd)
{
    char line[64];
    ssize_t length;
    do {
        length = ::pread(commFd, line, sizeof line, 0);
    } while (length < 0 && errno == EINTR);
    if (length <= 0 || line[length - 1] != '\n')
        return std::nullopt;
    return QByteArray(line, length - 1);
}

// A pid or descriptor number as /proc names its entry.
class Decimal
{
public:
    explicit Decimal(qint64 value)
    {
        *std::to_chars(m_text, std::end(m_text) - 1, value).ptr = '\0';
    }
    const char* text() const { return m_text; }

private:
    char m_text[21];
};

// Paths below /proc/<pid>. A steady scan builds thousands, where printf's cost shows.
class PidPath
{
public:
    explicit PidPath(const char* pid) : m_length(std::strlen(pid))
    {
        std::memcpy(m_text, pid, m_length);
        m_text[m_length++] = '/';
    }
    const char* operator()(std::string_view name)
    {
        *std::copy(name.begin(), name.end(), m_text + m_length) = '\0';
        return m_text;
    }
    const char* descriptor(int fd)
    {
        char* end = std::copy_n("fd/", 3, m_text + m_length);
        *std::to_chars(end, std::end(m_text) - 1, fd).ptr = '\0';
        return m_text;
    }

private:
    char m_text[sizeof(dirent::d_name) + 24];
    size_t m_length;
};

// The pid last handed out in this process's pid namespace: the last field of loadavg.
std::optional<quint64> readPidCursor(int procFd)
{
    char line[256];
    const qsizetype length = readLine(procFd, "loadavg", line, sizeof line);
    if (length <= 1)
        return std::nullopt;
    const QByteArrayView text(line, length - 1);
    return parseUnsigned(text.sliced(text.lastIndexOf(' ') + 1));
}

// Whether the /proc at procFd lists this process's own pid namespace (loadavg speaks of
// that one): its NSpid line then holds a single pid.
bool listsOwnNamespace(int procFd)
{
    QByteArray status;
    if (!readFile(procFd, "self/status", status))
        return false;
    static constexpr QByteArrayView key = "\nNSpid:\t";
    const qsizetype at = status.indexOf(key);
    if (at < 0)
        return false;
    const qsizetype end = status.indexOf('\n', at + 1);
    const QByteArrayView pids = QByteArrayView(status)
                                    .sliced(at + key.size())
                                    .first((end < 0 ? status.size() : end) - at - key.size());
    return !pids.isEmpty() && !pids.contains('\t');
}

} // namespace

SocketOwnerWalk::SocketOwnerWalk(std::chrono::milliseconds fullWalkEvery, int heldDescriptors)
    : m_fullWalkEvery(fullWalkEvery), m_heldBudget(heldDescriptors)
{
    *std::to_chars(m_ownPid, std::end(m_ownPid) - 1, ::getpid()).ptr = '\0';
}

qint64 SocketOwnerWalk::ownDescriptors(const char* pid, bool walking) const
{
    if (std::strcmp(pid, m_ownPid) != 0)
        return 0;
    // The caller's /proc, the listing of it if open, the fd folder a walk reads, and the
    // handles kept.
    return 1 + (m_listing ? 1 : 0) + (walking ? 1 : 0) + m_held;
}

SocketOwnerWalk::~SocketOwnerWalk() = default;

bool SocketOwnerWalk::findOwners(int procFd, const ListeningSockets& sockets, bool forceFullWalk,
                                 const OwnerFound& found)
{
    m_sameOwners = true;
    if (sockets.isEmpty()) {
        // Nothing to own. Whatever listens next is new, and so brings a full walk.
        m_sockets.clear();
        m_sameOwners = false;
        return true;
    }
    const auto now = std::chrono::steady_clock::now();
    const bool fullWalk = needsFullWalk(procFd, sockets, forceFullWalk, now);
    if (fullWalk) {
        // Every process is walked afresh; what was known of it only lends its handles.
        for (auto& known : m_known)
            known.second.vouched = false;
        m_sameOwners = false;
        m_lastFullWalk = now;
        m_pidCursorTrusted = listsOwnNamespace(procFd);
        ++m_counts.fullWalks;
    } else {
        ++m_counts.partialScans;
    }
    m_sockets = sockets;
    // Read before anything is looked at: a process started during this scan moves it, and
    // so is listed by the next.
    const auto cursor = m_pidCursorTrusted ? readPidCursor(procFd) : std::nullopt;
    const bool sameProcesses = !fullWalk && cursor && cursor == m_pidCursor;
    m_pidCursor = cursor;

    // Known processes are updated in place: rebuilding the table would cost an allocation
    // per process and scan.
    m_walkedAny = fullWalk;
    m_hidden = 0;
    const auto check = [&](const char* pidText, bool isKnown, KnownProcess& process) {
        const Visit result = visit(procFd, pidText, isKnown, sockets, process);
        process.vouched = result == Visit::Remember;
        if (result != Visit::Gone && (!process.vouched || process.access != Access::Readable))
            ++m_hidden;
        return result != Visit::Gone;
    };
    if (sameProcesses) {
        // No pid was handed out since the last scan, so no process is new: listing /proc,
        // which costs a third of a scan on a quiet machine, would show only known ones.
        ++m_counts.listingsSkipped;
        for (auto it = m_known.begin(); it != m_known.end();)
            it = check(Decimal(it->first).text(), true, it->second) ? std::next(it)
                                                                    : m_known.erase(it);
    } else {
        Dir processes = openDir(procFd, ".");
        if (!processes) {
            m_known.clear();
            m_lastFullWalk.reset();
            return false;
        }
        ++m_scan;
        m_listing = true;
        while (const dirent* entry = ::readdir(processes.get())) {
            if (!isDecimal(entry->d_name))
                continue;
            const auto number = parseUnsigned(QByteArrayView(entry->d_name));
            if (!number || *number > quint64(INT32_MAX))
                continue;
            const auto [known, isNew] = m_known.try_emplace(qint32(*number));
            if (check(entry->d_name, !isNew, known->second))
                known->second.lastSeen = m_scan;
            else
                m_known.erase(known);
        }
        processes.reset();
        m_listing = false;
        // Those not listed have ended.
        std::erase_if(m_known, [this](const auto& known) {
            if (known.second.lastSeen == m_scan)
                return false;
            if (!known.second.listening.empty())
                m_sameOwners = false;
            return true;
        });
    }
    if (m_walkedAny || !m_sameOwners || m_hidden > 0)
        settleTrustedLinks(procFd, sockets);
    m_seesAll = m_hidden == 0;
    // An owner whose files could not be read (it is walked afresh next time) tells nothing.
    static const OwnerFacts::Facts noFacts;
    for (const auto& [pid, process] : m_known) {
        for (const ListeningDescriptor& descriptor : process.listening) {
            if (sockets.contains(descriptor.inode))
                found(descriptor.inode, pid, process.name, process.startTime,
                      process.facts ? *process.facts : noFacts);
        }
    }
    return true;
}

void SocketOwnerWalk::settleTrustedLinks(int procFd, const ListeningSockets& sockets)
{
    for (;;) {
        // How many processes hold each socket.
        QHash<quint64, int> holders;
        holders.reserve(sockets.size());
        for (const auto& known : m_known) {
            const std::vector<ListeningDescriptor>& listening = known.second.listening;
            for (auto d = listening.cbegin(); d != listening.cend(); ++d) {
                const auto same = [d](const ListeningDescriptor& e) { return e.inode == d->inode; };
                if (sockets.contains(d->inode) && std::find_if(listening.cbegin(), d, same) == d)
                    ++holders[d->inode];
            }
        }
        // A link taken on trust whose socket another process holds now too, or any such
        // link once some process hides its descriptors, is read after all; if it changed,
        // that process is walked again, which may change the counts.
        bool walkedAgain = false;
        for (auto it = m_known.begin(); it != m_known.end();) {
            KnownProcess& process = it->second;
            const Decimal pidText(it->first);
            const char* pid = pidText.text();
            const bool stale =
                process.trusted &&
                std::any_of(process.listening.cbegin(), process.listening.cend(),
                            [&](const ListeningDescriptor& descriptor) {
                                return !descriptor.shared &&
                                       (m_hidden > 0 || holders.value(descriptor.inode) > 1) &&
                                       !linkHolds(procFd, pid, process, descriptor);
                            });
            process.trusted = false;
            if (stale) {
                walkedAgain = true;
                const Visit result = walkNoting(procFd, pid, true, sockets, process);
                if (result == Visit::Gone) {
                    it = m_known.erase(it);
                    continue;
                }
                process.vouched = result == Visit::Remember;
                if (!process.vouched || process.access != Access::Readable)
                    ++m_hidden;
            }
            ++it;
        }
        if (!walkedAgain) {
            for (auto& known : m_known) {
                for (ListeningDescriptor& descriptor : known.second.listening)
                    descriptor.shared = holders.value(descriptor.inode) > 1;
            }
            return;
        }
    }
}

bool SocketOwnerWalk::linkHolds(int procFd, const char* pid, const KnownProcess& process,
                                const ListeningDescriptor& descriptor) const
{
    char link[64];
    ssize_t length;
    if (process.handles) {
        length = ::readlinkat(process.handles->folder.get(), Decimal(descriptor.fd).text(), link,
                              sizeof link);
    } else {
        length = ::readlinkat(procFd, PidPath(pid).descriptor(descriptor.fd), link, sizeof link);
    }
    return length > 0 && length < ssize_t(sizeof link) &&
           socketInode(link, length) == descriptor.inode;
}

bool SocketOwnerWalk::needsFullWalk(int procFd, const ListeningSockets& sockets, bool forceFullWalk,
                                    std::chrono::steady_clock::time_point now) const
{
    if (forceFullWalk || !m_lastFullWalk || now - *m_lastFullWalk >= m_fullWalkEvery)
        return true;
    // Before Linux 6.2 every /proc/<pid>/fd has size 0; we hold descriptors ourselves, so
    // our own shows whether the count is there.
    struct stat self = {};
    if (::fstatat(procFd, "self/fd", &self, 0) != 0 || self.st_size <= 0)
        return true;
    // A socket that began to listen may belong to any process.
    for (auto it = sockets.cbegin(); it != sockets.cend(); ++it) {
        const auto before = m_sockets.constFind(it.key());
        if (before == m_sockets.cend() || before.value() != it.value())
            return true;
    }
    return false;
}

SocketOwnerWalk::Visit SocketOwnerWalk::visit(int procFd, const char* pid, bool isKnown,
                                              const ListeningSockets& sockets,
                                              KnownProcess& process)
{
    PidPath path(pid);
    if (isKnown && process.vouched) {
        // Whether a denial still holds is all that matters of a process we may not read:
        // it adds nothing either way.
        switch (process.access) {
        case Access::Unreadable: {
            const Fd fds(::openat(procFd, path("fd"), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (!fds.isValid())
                return isGone(errno) ? Visit::Gone : Visit::Remember;
            break;
        }
        case Access::LinksDenied: {
            char link[64];
            if (::readlinkat(procFd, path.descriptor(process.deniedFd), link, sizeof link) < 0 &&
                isDenied(errno))
                return Visit::Remember;
            break;
        }
        case Access::Readable:
            if (refresh(procFd, pid, process))
                return Visit::Remember;
            break;
        }
    }
    return walkNoting(procFd, pid, isKnown, sockets, process);
}

SocketOwnerWalk::Visit SocketOwnerWalk::walkNoting(int procFd, const char* pid, bool isKnown,
                                                   const ListeningSockets& sockets,
                                                   KnownProcess& process)
{
    // What it held before, to tell whether the walk changes what is reported.
    std::vector<ListeningDescriptor> listening;
    QByteArray name;
    if (isKnown) {
        listening = process.listening;
        name = process.rawName;
    }
    m_walkedAny = true;
    const Visit result = walk(procFd, pid, sockets, process);
    const auto sameSockets = [](const ListeningDescriptor& a, const ListeningDescriptor& b) {
        return a.fd == b.fd && a.inode == b.inode;
    };
    if (result == Visit::Gone
            ? !listening.empty()
            : !std::equal(listening.cbegin(), listening.cend(), process.listening.cbegin(),
                          process.listening.cend(), sameSockets) ||
                  process.rawName != name)
        m_sameOwners = false;
    return result;
}

bool SocketOwnerWalk::refresh(int procFd, const char* pid, KnownProcess& process)
{
    // A remembered descriptor may have been closed and its number reused, for another
    // socket or none, while the count stayed the same. That matters only while its socket
    // still listens, so only if some other process holds it too (or someone received it
    // without a change of count, which the full walk bounds): the link of a socket that no
    // other process held is taken on trust, and read at the end of the scan if another
    // holder turned up meanwhile (settleTrustedLinks).
    PidPath path(pid);
    process.trusted = false;
    for (const ListeningDescriptor& descriptor : process.listening) {
        if (!descriptor.shared && m_seesAll)
            process.trusted = true;
        else if (!linkHolds(procFd, pid, process, descriptor))
            return false;
    }
    std::optional<QByteArray> name;
    if (!process.listening.empty()) {
        name = process.handles && process.handles->comm.isValid()
                   ? readCommandName(process.handles->comm.get())
                   : readCommandName(procFd, path("comm"));
        if (!name)
            return false;
    }
    // The identity is read last: the process that has this fd folder now held the pid since
    // the last scan, so every look above was at that same process. A folder kept open is
    // its process's for good: once that has ended, it answers ENOENT.
    const int folder = process.handles ? process.handles->folder.get() : -1;
    struct stat fds = {};
    if ((folder >= 0 ? ::fstat(folder, &fds) : ::fstatat(procFd, path("fd"), &fds, 0)) != 0 ||
        fds.st_ino != process.identity ||
        fds.st_size - ownDescriptors(pid, false) != process.descriptorCount)
        return false;
    if (name && *name != process.rawName) {
        process.name = escapeCommandName(*name);
        process.facts = std::make_unique<const OwnerFacts::Facts>(
            process.handles ? OwnerFacts::read(process.handles->folder.get(), "..", *name)
                            : OwnerFacts::read(procFd, pid, *name));
        process.rawName = std::move(*name);
        m_sameOwners = false;
    }
    return true;
}

SocketOwnerWalk::Visit SocketOwnerWalk::walk(int procFd, const char* pid,
                                             const ListeningSockets& sockets, KnownProcess& process)
{
    std::unique_ptr<Handles> handles = std::move(process.handles);
    const quint64 identity = process.identity;
    quint64 startTime = process.startTime;
    // The facts go with the start time, read again only for another name.
    std::unique_ptr<const OwnerFacts::Facts> facts = std::move(process.facts);
    QByteArray factsName = std::move(process.rawName);
    process = KnownProcess{};
    // Everything below goes through this descriptor, so it all concerns one process even
    // if the pid is reused meanwhile.
    const int fdsFd = ::openat(procFd, PidPath(pid)("fd"), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fdsFd < 0) {
        // Gone, or another user's: skipped without a word, as lsof does.
        if (isGone(errno))
            return Visit::Gone;
        process.access = Access::Unreadable;
        return Visit::Remember;
    }
    const Dir fds = adoptDir(fdsFd);
    if (!fds)
        return Visit::UseOnce;
    // Counted before the entries are read: a descriptor opened meanwhile then shows as a
    // changed count next time.
    struct stat status = {};
    bool vouched = ::fstat(fdsFd, &status) == 0;
    process.identity = status.st_ino;
    process.descriptorCount = status.st_size - ownDescriptors(pid, true);
    if (!vouched || identity != process.identity) {
        handles.reset(); // another process's
        startTime = 0;
        factsName.clear();
    }

    char link[64];
    bool readAny = false;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(fds.get());
        if (!entry) {
            if (errno != 0) // the process ended while its descriptors were read, most likely
                return isGone(errno) ? Visit::Gone : Visit::UseOnce;
            break;
        }
        if (entry->d_name[0] == '.')
            continue;
        const auto fd = parseUnsigned(QByteArrayView(entry->d_name));
        if (!fd || *fd > quint64(INT_MAX))
            continue; // not a descriptor
        const ssize_t length = ::readlinkat(fdsFd, entry->d_name, link, sizeof link);
        if (length < 0) {
            if (isDenied(errno) && process.deniedFd < 0)
                process.deniedFd = int(*fd);
            // Closed since it was listed; anything else leaves this process unaccounted.
            if (errno != ENOENT)
                vouched = false;
            continue;
        }
        readAny = true;
        if (length >= ssize_t(sizeof link))
            continue; // longer than any socket link
        const auto inode = socketInode(link, length);
        if (inode && sockets.contains(*inode))
            process.listening.push_back({int(*fd), *inode});
    }
    ++m_counts.processesWalked;
    if (!process.listening.empty()) {
        // The start time is the process's for good: read once, through the fd folder, so
        // from this very process; the name is read on every scan.
        if (startTime == 0) {
            char line[2048];
            const qsizetype lineLength = readLine(fdsFd, "../stat", line, sizeof line);
            const auto stat =
                lineLength < 0 ? std::nullopt : parseProcessStat(QByteArrayView(line, lineLength));
            if (!stat) // ended while it was read, most likely
                return isGone(errno) ? Visit::Gone : Visit::UseOnce;
            startTime = stat->startTime;
        }
        auto name = handles && handles->comm.isValid() ? readCommandName(handles->comm.get())
                                                       : readCommandName(fdsFd, "../comm");
        if (!name)
            return isGone(errno) ? Visit::Gone : Visit::UseOnce;
        process.startTime = startTime;
        if (!facts || factsName.isEmpty() || factsName != *name)
            facts = std::make_unique<const OwnerFacts::Facts>(OwnerFacts::read(fdsFd, "..", *name));
        process.facts = std::move(facts);
        process.name = escapeCommandName(*name);
        process.rawName = std::move(*name);
        process.handles = std::move(handles);
        keepHandles(fdsFd, process, true);
    } else if (process.deniedFd >= 0 && !readAny) {
        // No link was ours to read (the kernel decides that per process): one readlink
        // tells, from now on, whether that still holds.
        process.access = Access::LinksDenied;
        return Visit::Remember;
    } else {
        process.handles = std::move(handles);
        keepHandles(fdsFd, process, false);
    }
    return vouched ? Visit::Remember : Visit::UseOnce;
}

void SocketOwnerWalk::keepHandles(int fdsFd, KnownProcess& process, bool owner)
{
    std::unique_ptr<Handles>& handles = process.handles;
    if (handles) {
        if (!owner && handles->comm.isValid()) {
            handles->comm = Fd();
            --m_held;
        } else if (owner && !handles->comm.isValid() && m_held + 1 <= m_heldBudget) {
            handles->comm = Fd(::openat(fdsFd, "../comm", O_RDONLY | O_CLOEXEC));
            if (handles->comm.isValid())
                ++m_held;
        }
        return;
    }
    if (m_held + (owner ? 2 : 1) > (owner ? m_heldBudget : m_heldBudget * 3 / 4))
        return;
    Fd folder(::openat(fdsFd, ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    Fd comm(owner ? ::openat(fdsFd, "../comm", O_RDONLY | O_CLOEXEC) : -1);
    if (!folder.isValid() || (owner && !comm.isValid()))
        return;
    m_held += owner ? 2 : 1;
    handles.reset(new Handles{std::move(folder), std::move(comm), &m_held});
}
