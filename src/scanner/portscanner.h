#pragma once

#include "listeningport.h"
#include "portsource.h"
#include "processcontrol.h"

#include <QDateTime>
#include <QList>
#include <QObject>

#include <csignal>
#include <memory>
#include <optional>

class DesktopServices;
class QTimer;

// Owns the published list of listening ports and keeps it fresh: a scan at construction,
// then one every 5 seconds. Queries run on a low-priority worker thread; each publishes on
// the main thread when it finishes, so the list that stays is the last one published.
class PortScanner : public QObject
{
    Q_OBJECT

public:
    PortScanner(std::shared_ptr<PortSource> source, DesktopServices& desktop,
                std::shared_ptr<ProcessControl> processes = ProcessControl::platform(),
                QObject* parent = nullptr);
    ~PortScanner() override;

    const QList<ListeningPort>& ports() const { return m_ports; }
    // Absent until the first scan has published.
    std::optional<QDateTime> lastScan() const { return m_lastScan; }

    // Starts one scan and returns at once.
    void scan();
    // Asks the record's process to end (SIGTERM, or SIGKILL to force it), then rescans
    // half a second later. Sends nothing unless the pid still belongs to the named process.
    void kill(const ListeningPort& port, int signal = SIGTERM);
    // Opens http://localhost:PORT in the default browser.
    void openInBrowser(const ListeningPort& port);

    // Waits until no query runs (-1: no time limit); false when time ran out. Results
    // still have to be delivered by the event loop.
    static bool waitForPendingScans(int msecs = -1);

    // The platform's own port source: the kernel's tables on Linux, lsof elsewhere.
    static std::shared_ptr<PortSource> platformSource();

    static constexpr int refreshIntervalMs = 5000;
    static constexpr int rescanAfterKillMs = 500;

Q_SIGNALS:
    // One per assignment, so a scan notifies twice even when nothing changed.
    void portsChanged();
    void lastScanChanged();

private:
    void publish(QList<ListeningPort> ports);

    std::shared_ptr<PortSource> m_source;
    DesktopServices& m_desktop;
    std::shared_ptr<ProcessControl> m_processes;
    QList<ListeningPort> m_ports;
    std::optional<QDateTime> m_lastScan;
    QTimer* m_timer = nullptr;
};
