#pragma once

#include "processcontrol.h"
#include "processdetails.h"

#include <QHash>
#include <QList>
#include <QPair>

// Knows the processes a test names and records the signals sent, instead of sending them.
// Each process's command line is "run PID", given only to whoever saw that very process.
class RecordingProcessControl final : public ProcessControl, public ProcessDetailsProvider
{
public:
    struct Process
    {
        ProcessIdentity identity;
        quint32 owner = 1000;
        SignalOutcome outcome = SignalOutcome::Sent; // what a signal to it comes to
    };

    void setProcess(qint32 pid, const QString& name, quint64 startTime = 0, quint32 owner = 1000,
                    SignalOutcome outcome = SignalOutcome::Sent)
    {
        processes.insert(pid, Process{{pid, name, startTime}, owner, outcome});
    }

    std::unique_ptr<Handle> open(qint32 pid) const override
    {
        ++opens;
        const auto it = processes.constFind(pid);
        if (it == processes.constEnd())
            return nullptr;
        return std::make_unique<RecordingHandle>(*it, const_cast<RecordingProcessControl&>(*this));
    }
    ProcessDetails read(const ProcessIdentity& seen, CommandLineLength) const override
    {
        const auto it = processes.constFind(seen.pid);
        if (it == processes.constEnd() || !isSameProcess(it->identity, seen))
            return {};
        return {QStringLiteral("run %1").arg(seen.pid), QStringLiteral("/srv")};
    }
    qint32 ownPid() const override { return 1; }
    quint32 ownUid() const override { return uid; }

    quint32 uid = 1000;
    mutable int opens = 0;
    QHash<qint32, Process> processes;
    QList<QPair<qint32, int>> sentSignals; // (pid, signal) in the order sent

private:
    class RecordingHandle final : public Handle
    {
    public:
        RecordingHandle(Process process, RecordingProcessControl& control)
            : m_process(std::move(process)), m_control(control)
        {}
        const ProcessIdentity& identity() const override { return m_process.identity; }
        std::optional<quint32> owner() const override { return m_process.owner; }
        bool holdsSocket(const QList<quint64>&) const override { return true; }
        SignalOutcome sendSignal(int signal) override
        {
            if (m_process.outcome == SignalOutcome::Sent)
                m_control.sentSignals.append({m_process.identity.pid, signal});
            return m_process.outcome;
        }

    private:
        Process m_process;
        RecordingProcessControl& m_control;
    };
};
