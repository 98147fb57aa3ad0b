#pragma once

#include "freeresult.h"
#include "portsource.h"
#include "processcontrol.h"
#include "restartcause.h"

#include <QList>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

// What to free, and how hard to try.
struct FreeRequest
{
    QList<qint64> ports; // each once
    bool tcp = true;
    bool udp = true;
    std::chrono::milliseconds wait{3000};
    bool force = false; // an owner still there after the wait gets SIGKILL, and a second wait
};

// How freeing went: a line's worth per port, or why nothing could be looked at.
struct FreeReport
{
    QList<FreeResult> results; // in the order of the request
    QString error;             // the scan failed: no results

    // 0: every port is free; 4: one still or again listens; 1: one was not ours to end, or
    // the scan failed.
    int exitStatus() const;
};

// Frees ports the way the panel ends a process: each owner opened and checked to be the
// process the scan saw (a pidfd where there is one, its start time, its socket), then asked
// to end; a pid that changed hands is never signalled. Then it watches until each port has
// stayed free for a moment, or listens under a process that was not asked (whose restart
// cause it names), or the wait is over. Blocks; scans through `scan`.
class PortFreer
{
public:
    using Scan = std::function<QueryResult()>;
    // The engine's name of a container, by its short id; empty when unknown.
    using ContainerNamer = std::function<QString(const QString& id)>;

    explicit PortFreer(Scan scan,
                       std::shared_ptr<ProcessControl> processes = ProcessControl::platform(),
                       std::shared_ptr<const ProcessTable> table = ProcessTable::platform());

    void setContainerNamer(ContainerNamer namer) { m_namer = std::move(namer); }
    // How often the ports are looked at while waiting, and how long a port has to stay free
    // (a supervisor restarts at once or within a few tenths of a second).
    void setTiming(std::chrono::milliseconds poll, std::chrono::milliseconds settle);

    FreeReport free(const FreeRequest& request);

private:
    Scan m_scan;
    std::shared_ptr<ProcessControl> m_processes;
    std::shared_ptr<const ProcessTable> m_table;
    ContainerNamer m_namer;
    std::chrono::milliseconds m_poll{50};
    std::chrono::milliseconds m_settle{1000};
};
