#include "socketownerwalk.h"

#include "commandname.h"
#include "lsofparser.h"
#include "procfiles.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

using namespace ProcFiles;

namespace {

// The inode of a "socket:[inode]" link target.
std::optional<quint64> socketInode(const char* link, ssize_t length)
{
    static constexpr char prefix[] = "socket:[";
    static constexpr ssize_t prefixLength = sizeof prefix - 1;
    if (length <= prefixLength + 1 || std::memcmp(link, prefix, prefixLength) != 0 ||
        link[length - 1] != ']')
        return std::nullopt;
    return parseUnsigned(QByteArrayView(link + prefixLength, length - prefixLength - 1));
}

bool isGone(int error)
{
    return error == ENOENT || error == ESRCH;
}

bool isDenied(int error)
{
    return error == EACCES || error == EPERM;
}

} // namespace

std::optional<ProcessStat> parseProcessStat(QByteArrayView line)
{
    const qsizetype open = line.indexOf('(');
    const qsizetype close = line.lastIndexOf(')');
    if (open < 0 || close < open)
        return std::nullopt;
    ProcessStat stat;
    stat.name = line.sliced(open + 1, close - open - 1);
    // The fields after the name, counted as proc(5) counts them: state is field 3.
    static constexpr int startTimeField = 22;
    int field = 2;
    qsizetype i = close + 1;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\n'))
            ++i;
        const qsizetype begin = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\n')
            ++i;
        if (i == begin)
            break;
        if (++field == startTimeField) {
            const auto startTime = parseUnsigned(line.sliced(begin, i - begin));
            if (!startTime)
                return std::nullopt;
            stat.startTime = *startTime;
            return stat;
        }
    }
    return std::nullopt;
}

SocketOwnerWalk::SocketOwnerWalk(std::chrono::milliseconds fullWalkEvery)
    : m_fullWalkEvery(fullWalkEvery)
{}

void SocketOwnerWalk::findOwners(int procFd, const ListeningSockets& sockets, bool forceFullWalk,
                                 PortListBuilder& builder)
{
    if (sockets.isEmpty()) {
        // Nothing to own. Whatever listens next is new, and so brings a full walk.
        m_sockets.clear();
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (needsFullWalk(procFd, sockets, forceFullWalk, now)) {
        m_known.clear();
        m_lastFullWalk = now;
        ++m_counts.fullWalks;
    } else {
        ++m_counts.partialScans;
    }
    m_sockets = sockets;

    const Dir processes = openDir(procFd, ".");
    if (!processes) {
        m_known.clear();
        m_lastFullWalk.reset();
        return;
    }
    QHash<qint32, KnownProcess> next;
    next.reserve(m_known.size());
    while (const dirent* entry = ::readdir(processes.get())) {
        if (!isDecimal(entry->d_name))
            continue;
        const auto pid = LsofParser::parseInt32(QByteArrayView(entry->d_name));
        if (!pid)
            continue;
        KnownProcess process;
        const auto known = m_known.find(*pid);
        const bool isKnown = known != m_known.end();
        if (isKnown) {
            process = std::move(known.value());
            m_known.erase(known);
        }
        const Visit result = visit(procFd, entry->d_name, isKnown, sockets, process);
        if (result == Visit::Gone)
            continue;
        for (const ListeningDescriptor& descriptor : process.listening) {
            const auto port = sockets.constFind(descriptor.inode);
            if (port != sockets.cend())
                builder.add(port.value(), *pid, process.name);
        }
        if (result == Visit::Remember)
            next.insert(*pid, std::move(process));
    }
    m_known = std::move(next);
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
    char path[sizeof(dirent::d_name) + 24];
    if (isKnown) {
        // Whether a denial still holds is all that matters of a process we may not read:
        // it adds nothing either way.
        switch (process.access) {
        case Access::Unreadable: {
            std::snprintf(path, sizeof path, "%s/fd", pid);
            const Fd fds(::openat(procFd, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (!fds.isValid())
                return isGone(errno) ? Visit::Gone : Visit::Remember;
            break;
        }
        case Access::LinksDenied: {
            std::snprintf(path, sizeof path, "%s/fd/%d", pid, process.deniedFd);
            char link[64];
            if (::readlinkat(procFd, path, link, sizeof link) < 0 && isDenied(errno))
                return Visit::Remember;
            break;
        }
        case Access::Readable:
            if (refresh(procFd, pid, process))
                return Visit::Remember;
            break;
        }
    }
    return walk(procFd, pid, sockets, process);
}

bool SocketOwnerWalk::refresh(int procFd, const char* pid, KnownProcess& process) const
{
    char path[sizeof(dirent::d_name) + 24];
    std::snprintf(path, sizeof path, "%s/fd", pid);
    struct stat fds = {};
    if (::fstatat(procFd, path, &fds, 0) != 0 || fds.st_size != process.descriptorCount)
        return false;
    // Same count: a remembered descriptor may still have been closed and its number
    // reused, for another socket or none.
    char link[64];
    for (const ListeningDescriptor& descriptor : process.listening) {
        std::snprintf(path, sizeof path, "%s/fd/%d", pid, descriptor.fd);
        const ssize_t length = ::readlinkat(procFd, path, link, sizeof link);
        if (length <= 0 || length >= ssize_t(sizeof link) ||
            socketInode(link, length) != descriptor.inode)
            return false;
    }
    // The identity is read last: the process that has this start time now held the pid
    // since the last scan, so every look above was at that same process.
    std::snprintf(path, sizeof path, "%s/stat", pid);
    char line[2048];
    const qsizetype length = readLine(procFd, path, line, sizeof line);
    const auto stat = length < 0 ? std::nullopt : parseProcessStat(QByteArrayView(line, length));
    if (!stat || stat->startTime != process.startTime)
        return false;
    if (!process.listening.empty() && process.rawName != stat->name) {
        process.rawName = stat->name.toByteArray();
        process.name = escapeCommandName(stat->name);
    }
    return true;
}

SocketOwnerWalk::Visit SocketOwnerWalk::walk(int procFd, const char* pid,
                                             const ListeningSockets& sockets, KnownProcess& process)
{
    process = KnownProcess{};
    char path[sizeof(dirent::d_name) + 24];
    std::snprintf(path, sizeof path, "%s/fd", pid);
    // Everything below goes through this descriptor, so it all concerns one process even
    // if the pid is reused meanwhile.
    const int fdsFd = ::openat(procFd, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fdsFd < 0) {
        // Gone, or another user's: skipped without a word, as lsof does.
        if (isGone(errno))
            return Visit::Gone;
        process.access = Access::Unreadable;
        return Visit::Remember;
    }
    const Dir fds = adoptDir(fdsFd);
    if (!fds)
        return Visit::Gone;
    // Counted before the entries are read: a descriptor opened meanwhile then shows as a
    // changed count next time.
    struct stat status = {};
    bool vouched = ::fstat(fdsFd, &status) == 0;
    process.descriptorCount = status.st_size;

    char link[64];
    bool readAny = false;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(fds.get());
        if (!entry) {
            if (errno != 0)
                return Visit::Gone; // the process ended while its descriptors were read
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
    char line[2048];
    const qsizetype lineLength = readLine(fdsFd, "../stat", line, sizeof line);
    const auto stat =
        lineLength < 0 ? std::nullopt : parseProcessStat(QByteArrayView(line, lineLength));
    if (!stat)
        return Visit::Gone;
    process.startTime = stat->startTime;
    ++m_counts.processesWalked;
    if (!process.listening.empty()) {
        process.rawName = stat->name.toByteArray();
        process.name = escapeCommandName(stat->name);
    } else if (process.deniedFd >= 0 && !readAny) {
        // No link was ours to read (the kernel decides that per process): one readlink
        // tells, from now on, whether that still holds.
        process.access = Access::LinksDenied;
        return Visit::Remember;
    }
    return vouched ? Visit::Remember : Visit::UseOnce;
}
