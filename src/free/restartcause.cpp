#include "restartcause.h"

namespace {

// Deeper than any real tree; a bound for a table that loops.
constexpr int maxGenerations = 64;

bool isSupervisorCandidate(const LineageProcess& process)
{
    return process.pid > 1 && !process.isServiceManager() && !process.isSessionLeader();
}

} // namespace

std::optional<Lineage> readLineage(const ProcessTable& table, qint32 pid, quint64 startTime)
{
    const std::optional<LineageProcess> process = table.read(pid);
    if (!process || (startTime != 0 && process->startTime != startTime))
        return std::nullopt;
    Lineage lineage{*process, {}, {}};
    const LineageProcess* child = &lineage.process;
    while (child->pid > 1 && child->parentPid > 0 && lineage.ancestors.size() < maxGenerations) {
        std::optional<LineageProcess> parent = table.read(child->parentPid);
        // A parent that started after its child has taken over a pid that was freed.
        if (!parent || parent->startTime > child->startTime)
            break;
        lineage.ancestors.append(std::move(*parent));
        child = &lineage.ancestors.constLast();
    }
    return lineage;
}

RestartCause findRestartCause(const Lineage& before, const Lineage& newOwner)
{
    RestartCause cause;
    const LineageProcess& old = before.process;
    const LineageProcess& now = newOwner.process;
    // Two users' managers have units of the same names.
    if (!old.unit.isEmpty() && old.unit == now.unit && old.userUnit == now.userUnit &&
        (!old.userUnit || old.uid == now.uid)) {
        cause.kind = RestartCause::Kind::Unit;
        cause.unit = now.unit;
        cause.userUnit = now.userUnit;
        cause.uid = now.uid;
        return cause;
    }
    if (!old.container.isEmpty() && old.container == now.container) {
        cause.kind = RestartCause::Kind::Container;
        cause.container = now.container;
        cause.containerName =
            newOwner.containerName.isEmpty() ? before.containerName : newOwner.containerName;
        return cause;
    }
    // Above a session's leader or a service manager is the login or the system, which started
    // the old owner as much as anything else.
    for (const LineageProcess& ancestor : newOwner.ancestors) {
        if (!isSupervisorCandidate(ancestor))
            break;
        const auto shared = [&](const LineageProcess& other) { return other.isSame(ancestor); };
        if (std::any_of(before.ancestors.begin(), before.ancestors.end(), shared)) {
            cause.kind = RestartCause::Kind::Supervisor;
            cause.pid = ancestor.pid;
            cause.startTime = ancestor.startTime;
            cause.program = ancestor.program;
            return cause;
        }
    }
    return cause;
}
