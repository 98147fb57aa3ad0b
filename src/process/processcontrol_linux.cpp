#include "commandname.h"
#include "processcontrol.h"
#include "procfiles.h"
#include "processstat.h"

#include <QByteArray>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// note: called through syscall(2): glibc's own wrappers are missing before 2.36, and its
// 2.36 header declares them without C linkage for C++.
int pidfdOpen(qint32 pid)
{
    return int(::syscall(SYS_pidfd_open, pid, 0));
}
int pidfdSendSignal(int pidfd, int signal)
{
    return int(::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0));
}

SignalOutcome outcomeOf(int error)
{
    switch (error) {
    case ESRCH:
        return SignalOutcome::Gone;
    case EPERM:
        return SignalOutcome::NotPermitted;
    default:
        return SignalOutcome::Failed;
    }
}

// Reads who the process at pid is now, from /proc/<pid>/stat and the folder's owner.
bool readIdentity(qint32 pid, ProcessIdentity& identity, std::optional<quint32>& owner)
{
    const QByteArray dir = "/proc/" + QByteArray::number(pid);
    const QByteArray statPath = dir + "/stat";
    char line[1024];
    const qsizetype length =
        ProcFiles::readLine(AT_FDCWD, statPath.constData(), line, qsizetype(sizeof line));
    const auto stat = length < 0 ? std::nullopt : parseProcessStat(QByteArrayView(line, length));
    if (!stat)
        return false;
    identity = ProcessIdentity{pid, escapeCommandName(stat->name), stat->startTime};
    struct stat info = {};
    if (::stat(dir.constData(), &info) == 0)
        owner = info.st_uid;
    return true;
}

class LinuxHandle final : public ProcessControl::Handle
{
public:
    // pidfd < 0: the kernel has no pidfds (before 5.3); the identity is checked again
    // right before kill(2).
    LinuxHandle(int pidfd, ProcessIdentity identity, std::optional<quint32> owner)
        : m_pidfd(pidfd), m_identity(std::move(identity)), m_owner(owner)
    {}

    const ProcessIdentity& identity() const override { return m_identity; }
    std::optional<quint32> owner() const override { return m_owner; }

    SignalOutcome sendSignal(int signal) override
    {
        if (m_pidfd.isValid())
            return pidfdSendSignal(m_pidfd.get(), signal) == 0 ? SignalOutcome::Sent
                                                               : outcomeOf(errno);
        ProcessIdentity now;
        std::optional<quint32> owner;
        if (!readIdentity(m_identity.pid, now, owner) || now.startTime != m_identity.startTime)
            return SignalOutcome::Gone;
        return ::kill(m_identity.pid, signal) == 0 ? SignalOutcome::Sent : outcomeOf(errno);
    }

private:
    ProcFiles::Fd m_pidfd;
    ProcessIdentity m_identity;
    std::optional<quint32> m_owner;
};

class LinuxProcessControl final : public ProcessControl
{
public:
    std::unique_ptr<Handle> open(qint32 pid) const override
    {
        // The pidfd first, then the identity: if the pid was taken over in between, the
        // identity read is the newcomer's, which the caller refuses, and a pidfd of a
        // process that has ended can signal nothing.
        const int pidfd = pidfdOpen(pid);
        if (pidfd < 0 && errno != ENOSYS)
            return nullptr;
        ProcFiles::Fd guard(pidfd);
        ProcessIdentity identity;
        std::optional<quint32> owner;
        if (!readIdentity(pid, identity, owner))
            return nullptr;
        return std::make_unique<LinuxHandle>(guard.release(), std::move(identity), owner);
    }
    qint32 ownPid() const override { return static_cast<qint32>(::getpid()); }
    quint32 ownUid() const override { return ::geteuid(); }
};

} // namespace

std::shared_ptr<ProcessControl> ProcessControl::platform()
{
    return std::make_shared<LinuxProcessControl>();
}
