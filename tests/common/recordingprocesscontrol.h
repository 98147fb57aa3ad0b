#pragma once

#include "processcontrol.h"

#include <QHash>

// Knows the processes a test names and records the signals sent, instead of sending them.
class RecordingProcessControl final : public ProcessControl
{
public:
    void setProcess(qint32 pid, const QString& name) { names.insert(pid, name); }

    std::optional<QString> processName(qint32 pid) const override
    {
        return names.contains(pid) ? std::optional(names.value(pid)) : std::nullopt;
    }
    void sendSignal(qint32 pid, int signal) override { sentSignals.append({pid, signal}); }
    qint32 ownPid() const override { return 1; }

    QHash<qint32, QString> names;
    QList<std::pair<qint32, int>> sentSignals; // (pid, signal) in the order sent
};
