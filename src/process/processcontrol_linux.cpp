#include "processcontrol.h"
#include "processfolder.h"

#include <cerrno>
#include <csignal>
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

class LinuxHandle final : public ProcessControl::Handle
{
public:
    // pidfd < 0: the kernel has no pidfds (before 5.3); the identity is checked again
    // right before kill(2).
    LinuxHandle(int pidfd, ProcessFolder folder) : m_pidfd(pidfd), m_folder(std::move(folder)) {}

    const ProcessIdentity& identity() const override { return m_folder.identity(); }
    std::optional<quint32> owner() const override { return m_folder.owner(); }
    bool holdsSocket(const QList<quint64>& inodes) const override
    {
        return m_folder.holdsSocket(inodes);
    }

    SignalOutcome sendSignal(int signal) override
    {
        if (m_pidfd.isValid())
            return pidfdSendSignal(m_pidfd.get(), signal) == 0 ? SignalOutcome::Sent
                                                               : outcomeOf(errno);
        const qint32 pid = identity().pid;
        const auto now = ProcessFolder::open(pid);
        if (!now || now->identity().startTime != identity().startTime)
            return SignalOutcome::Gone;
        return ::kill(pid, signal) == 0 ? SignalOutcome::Sent : outcomeOf(errno);
    }

private:
    ProcFiles::Fd m_pidfd;
    ProcessFolder m_folder;
};

class LinuxProcessControl final : public ProcessControl
{
public:
    std::unique_ptr<Handle> open(qint32 pid) const override
    {
        // The pidfd first, then the folder, then the pidfd asked whether its process still
        // runs: if it does, the folder is that process's (a pid is handed out again only
        // once its process has ended), and so is all that is read through it.
        const int pidfd = pidfdOpen(pid);
        if (pidfd < 0 && errno != ENOSYS)
            return nullptr;
        ProcFiles::Fd guard(pidfd);
        auto folder = ProcessFolder::open(pid);
        if (!folder || (guard.isValid() && pidfdSendSignal(guard.get(), 0) != 0 && errno == ESRCH))
            return nullptr;
        return std::make_unique<LinuxHandle>(guard.release(), std::move(*folder));
    }
    qint32 ownPid() const override { return static_cast<qint32>(::getpid()); }
    quint32 ownUid() const override { return ::geteuid(); }
};

} // namespace

std::shared_ptr<ProcessControl> ProcessControl::platform()
{
    return std::make_shared<LinuxProcessControl>();
}
