#pragma once

#include "listeningport.h"
#include "portsource.h"
#include "processcontrol.h"

#include <QDateTime>
#include <QList>
#include <QObject>

#include <memory>
#include <optional>

class QTimer;

// Owns the published list of listening ports and keeps it fresh: a scan at construction,
// then one every 5 seconds. Queries run on a low-priority worker thread; each publishes on
// the main thread when it finishes, so the list that stays is the last one published.
class PortScanner : public QObject
{
    Q_OBJECT

public:
    // How a process is asked to end.
    enum class KillMode
    {
        Polite, // SIGTERM: the process may clean up, or ignore it
        Force,  // SIGKILL: the process cannot refuse
    };

    explicit PortScanner(std::shared_ptr<PortSource> source,
                         std::shared_ptr<ProcessControl> processes = ProcessControl::platform(),
                         QObject* parent = nullptr);
    ~PortScanner() override;

    const QList<ListeningPort>& ports() const { return m_ports; }
    // Absent until the first scan has published.
    std::optional<QDateTime> lastScan() const { return m_lastScan; }

    // Starts one scan and returns at once.
    void scan();
    // Whether scans count each TCP listener's connections (off at first): on, a scan
    // starts at once, so the counts show without waiting for the next.
    void setCountConnections(bool count);
    // The record's process, opened and checked: nothing unless its pid still belongs to the
    // record's process (see isSameProcess), nor for a pid <= 0 (a process group) or our own.
    std::shared_ptr<ProcessControl::Handle> openProcess(const ListeningPort& port) const;
    // True when this program runs with the power to end other users' processes and the
    // process belongs to another user, so ending it deserves a second thought.
    bool isOtherUsersProcess(const ProcessControl::Handle& process) const;
    // The uid this program runs as.
    quint32 ownUid() const { return m_processes->ownUid(); }
    // Asks the record's process, opened before (nullptr: it was gone), to end, then rescans
    // half a second later. Sends nothing when the process no longer holds any of the
    // record's sockets (where the record names them): it closed them, in an exec for one,
    // and is not the server the row shows any more.
    SignalOutcome kill(const ListeningPort& port, ProcessControl::Handle* process,
                       KillMode mode = KillMode::Polite);
    // Opens the record's process and asks it to end, as above.
    SignalOutcome kill(const ListeningPort& port, KillMode mode = KillMode::Polite);

    // Waits until no query runs (-1: no time limit); false when time ran out. Results
    // still have to be delivered by the event loop.
    static bool waitForPendingScans(int msecs = -1);

    static constexpr int refreshIntervalMs = 5000;
    static constexpr int rescanAfterKillMs = 500;

Q_SIGNALS:
    // One per assignment, so a scan notifies twice even when nothing changed.
    void portsChanged();
    void lastScanChanged();

private:
    void publish(QList<ListeningPort> ports);

    std::shared_ptr<PortSource> m_source;
    std::shared_ptr<ProcessControl> m_processes;
    QList<ListeningPort> m_ports;
    std::optional<QDateTime> m_lastScan;
    QTimer* m_timer = nullptr;
    bool m_countConnections = false;
};
