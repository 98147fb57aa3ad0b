#pragma once

#include "processcontrol.h"

#include <QHash>
#include <QList>
#include <QPair>

// Knows the processes a test names and records the signals sent, instead of sending them.
class RecordingProcessControl final : public ProcessControl
{
public:
    void setProcess(qint32 pid, const QString& name) { names.insert(pid, name); }

    std::optional<QString> processName(qint32 pid) const override
    {
        const auto it = names.constFind(pid);
        return it == names.constEnd() ? std::nullopt : std::optional<QString>(*it);
    }
    void sendSignal(qint32 pid, int signal) override { sentSignals.append({pid, signal}); }
    qint32 ownPid() const override { return 1; }

    QHash<qint32, QString> names;
    QList<QPair<qint32, int>> sentSignals; // (pid, signal) in the order sent
};
