#include "portfreer.h"

#include <algorithm>
#include <csignal>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// An owner that was asked to end, and what tells who restarts it.
struct Target
{
    ListeningPort record;
    std::unique_ptr<ProcessControl::Handle> process;
    std::optional<Lineage> lineage;
};

struct PortWork
{
    std::vector<Target> targets;
    FreeResult result;
    bool settled = false;
    bool held = true; // by the targets, when last looked at
    std::optional<Clock::time_point> freeSince;

    bool isTarget(const ListeningPort& record) const
    {
        return std::any_of(targets.begin(), targets.end(), [&](const Target& target) {
            return record.hasProcess() && isSameProcess(record.owner(), target.record.owner());
        });
    }
    void settle(FreeResult::State state, const ListeningPort* owner = nullptr)
    {
        result.state = state;
        if (owner) {
            result.pid = owner->pid();
            result.program = owner->displayName();
            result.user = owner->user();
        }
        settled = true;
    }
};

} // namespace

int FreeReport::exitStatus() const
{
    const auto any = [&](std::initializer_list<FreeResult::State> states) {
        return std::any_of(results.begin(), results.end(), [&](const FreeResult& result) {
            return std::find(states.begin(), states.end(), result.state) != states.end();
        });
    };
    if (!error.isEmpty() || any({FreeResult::State::NotPermitted, FreeResult::State::Refused}))
        return 1;
    return any({FreeResult::State::StillListening, FreeResult::State::ListeningAgain}) ? 4 : 0;
}

PortFreer::PortFreer(Scan scan, std::shared_ptr<ProcessControl> processes,
                     std::shared_ptr<const ProcessTable> table)
    : m_scan(std::move(scan)), m_processes(std::move(processes)), m_table(std::move(table))
{}

void PortFreer::setTiming(std::chrono::milliseconds poll, std::chrono::milliseconds settle)
{
    m_poll = poll;
    m_settle = settle;
}

FreeReport PortFreer::free(const FreeRequest& request)
{
    FreeReport report;
    QueryResult scan = m_scan();
    if (!scan.ok()) {
        report.error = scan.detail;
        return report;
    }
    const auto listeners = [&](qint64 port) {
        QList<ListeningPort> found;
        for (const ListeningPort& record : std::as_const(scan.ports)) {
            if (record.port() == port && (record.isUdp() ? request.udp : request.tcp))
                found.append(record);
        }
        return found;
    };

    std::vector<PortWork> ports(size_t(request.ports.size()));
    for (size_t i = 0; i < ports.size(); ++i) {
        PortWork& work = ports[i];
        work.result.port = request.ports[qsizetype(i)];
        const QList<ListeningPort> found = listeners(work.result.port);
        for (const ListeningPort& record : found) {
            // Another user's process that we may not even see.
            if (!record.hasProcess()) {
                work.settle(FreeResult::State::NotPermitted, &record);
                break;
            }
            if (work.isTarget(record))
                continue; // its other socket on the port (TCP and UDP, say)
            std::unique_ptr<ProcessControl::Handle> process = m_processes->open(record.pid());
            // Ended since the scan, or its pid is another process's now.
            if (record.pid() == m_processes->ownPid() || !process ||
                !isSameProcess(process->identity(), record.owner()))
                continue;
            std::optional<Lineage> lineage =
                readLineage(*m_table, record.pid(), record.startTime());
            // A service manager holds a socket unit's port: ending it ends the whole system or
            // session.
            if (record.pid() == 1 || (lineage && lineage->process.isServiceManager())) {
                work.settle(FreeResult::State::Refused, &record);
                break;
            }
            const quint32 ownUid = m_processes->ownUid();
            if (ownUid != 0 && process->owner() && *process->owner() != ownUid) {
                work.settle(FreeResult::State::NotPermitted, &record);
                break;
            }
            work.targets.push_back({record, std::move(process), std::move(lineage)});
        }
        if (!work.settled && found.isEmpty())
            work.settle(FreeResult::State::Free);
    }

    const auto signalTargets = [&](PortWork& work, int signal) {
        for (Target& target : work.targets) {
            // A process that closed the socket since (in an exec, say) is not the listener.
            const QList<quint64>& sockets = target.record.sockets();
            if (!sockets.isEmpty() && !target.process->holdsSocket(sockets))
                continue;
            if (target.process->sendSignal(signal) == SignalOutcome::NotPermitted &&
                signal == SIGTERM) {
                work.settle(FreeResult::State::NotPermitted, &target.record);
                return;
            }
        }
    };
    // A port settled by now has an owner that is not ours to end: nothing on it is ended.
    for (PortWork& work : ports) {
        if (!work.settled)
            signalTargets(work, SIGTERM);
    }

    // Asked while the newcomer runs: it may be gone by the end of the wait.
    const auto restartCause = [&](const PortWork& work, const ListeningPort& newcomer) {
        RestartCause cause;
        const auto now = newcomer.hasProcess()
                             ? readLineage(*m_table, newcomer.pid(), newcomer.startTime())
                             : std::nullopt;
        for (const Target& target : work.targets) {
            if (now && target.lineage && cause.kind == RestartCause::Kind::None)
                cause = findRestartCause(*target.lineage, *now);
        }
        if (cause.kind == RestartCause::Kind::Container && m_namer)
            cause.containerName = m_namer(cause.container);
        return cause;
    };

    bool killed = false;
    Clock::time_point deadline = Clock::now() + request.wait;
    for (;;) {
        if (std::all_of(ports.begin(), ports.end(), [](const PortWork& w) { return w.settled; }))
            break;
        Clock::time_point now = Clock::now();
        if (now >= deadline) {
            const bool anyHeld = std::any_of(
                ports.begin(), ports.end(), [](const PortWork& w) { return !w.settled && w.held; });
            if (!request.force || killed || !anyHeld)
                break;
            killed = true;
            for (PortWork& work : ports) {
                if (!work.settled && work.held)
                    signalTargets(work, SIGKILL);
            }
            deadline = now + request.wait;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(m_poll, deadline - now));
        QueryResult next = m_scan();
        if (!next.ok())
            continue; // the next look may succeed; the wait is bounded anyway
        scan = std::move(next);
        now = Clock::now();
        for (PortWork& work : ports) {
            if (work.settled)
                continue;
            const QList<ListeningPort> found = listeners(work.result.port);
            const auto newcomer = std::find_if(found.begin(), found.end(), [&](const auto& record) {
                return !work.isTarget(record);
            });
            if (newcomer != found.end()) {
                work.settle(FreeResult::State::ListeningAgain, &*newcomer);
                work.result.cause = restartCause(work, *newcomer);
            } else if (found.isEmpty()) {
                work.held = false;
                work.freeSince = work.freeSince.value_or(now);
                if (now - *work.freeSince >= m_settle)
                    work.settle(FreeResult::State::Free);
            } else {
                work.held = true;
                work.freeSince.reset();
                work.result.pid = found.first().pid();
                work.result.program = found.first().displayName();
            }
        }
    }

    for (PortWork& work : ports) {
        if (!work.settled && !work.held) {
            work.settle(FreeResult::State::Free);
        } else if (!work.settled) {
            work.settle(FreeResult::State::StillListening);
            work.result.killed = killed;
            if (work.result.pid == 0 && !work.targets.empty()) {
                work.result.pid = work.targets.front().record.pid();
                work.result.program = work.targets.front().record.displayName();
            }
        }
        report.results.append(work.result);
    }
    return report;
}
