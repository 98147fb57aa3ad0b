#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>
#include <optional>

// The process calls behind the scanner's kill action, so tests can replace them.
class ProcessControl
{
public:
    virtual ~ProcessControl() = default;

    // The process's command name as the port sources report it (escaped alike), or
    // nothing when there is no such process.
    virtual std::optional<QString> processName(qint32 pid) const = 0;
    // POSIX kill(2); the outcome is not reported.
    virtual void sendSignal(qint32 pid, int signal) = 0;
    // This program's own pid, which is never signalled.
    virtual qint32 ownPid() const = 0;

    // The real calls for this platform.
    static std::shared_ptr<ProcessControl> platform();
};
