#include "commandname.h"
#include "processcontrol.h"

#include <libproc.h>

#include <cerrno>
#include <csignal>
#include <sys/proc_info.h>
#include <unistd.h>

namespace {

SignalOutcome outcomeOf(int error)
{
    return error == ESRCH   ? SignalOutcome::Gone
           : error == EPERM ? SignalOutcome::NotPermitted
                            : SignalOutcome::Failed;
}

// proc_pidinfo's BSD record: the name lsof reports, the owner and the start time.
std::optional<proc_bsdinfo> bsdInfo(qint32 pid)
{
    proc_bsdinfo info = {};
    if (::proc_pidinfo(pid, PROC_PIDTBSDINFO, 0, &info, sizeof info) != int(sizeof info))
        return std::nullopt;
    return info;
}

// macOS has no pidfd: the identity is checked again right before kill(2).
class MacHandle final : public ProcessControl::Handle
{
public:
    MacHandle(ProcessIdentity identity, quint32 owner)
        : m_identity(std::move(identity)), m_owner(owner)
    {}

    const ProcessIdentity& identity() const override { return m_identity; }
    std::optional<quint32> owner() const override { return m_owner; }
    // lsof names no sockets here, so the records carry none to ask about.
    bool holdsSocket(const QList<quint64>&) const override { return false; }

    SignalOutcome sendSignal(int signal) override
    {
        const auto now = bsdInfo(m_identity.pid);
        if (!now || startTimeOf(*now) != m_identity.startTime)
            return SignalOutcome::Gone;
        return ::kill(m_identity.pid, signal) == 0 ? SignalOutcome::Sent : outcomeOf(errno);
    }

    static quint64 startTimeOf(const proc_bsdinfo& info)
    {
        return quint64(info.pbi_start_tvsec) * 1000000u + quint64(info.pbi_start_tvusec);
    }

private:
    ProcessIdentity m_identity;
    quint32 m_owner;
};

class MacProcessControl final : public ProcessControl
{
public:
    std::unique_ptr<Handle> open(qint32 pid) const override
    {
        const auto info = bsdInfo(pid);
        if (!info)
            return nullptr;
        // proc_name() gives the name lsof reports, escaped the same way before comparing.
        char name[2 * MAXCOMLEN + 1] = {};
        const int length = ::proc_name(pid, name, sizeof name);
        if (length <= 0)
            return nullptr;
        // lsof gives no start time, so the records carry none and the scanner compares
        // names; the handle still checks its own start time before the signal.
        return std::make_unique<MacHandle>(
            ProcessIdentity{pid, escapeCommandName(QByteArrayView(name, length)),
                            MacHandle::startTimeOf(*info)},
            info->pbi_uid);
    }
    qint32 ownPid() const override { return static_cast<qint32>(::getpid()); }
    quint32 ownUid() const override { return ::geteuid(); }
};

} // namespace

std::shared_ptr<ProcessControl> ProcessControl::platform()
{
    return std::make_shared<MacProcessControl>();
}
