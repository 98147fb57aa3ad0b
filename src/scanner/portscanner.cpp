#include "portscanner.h"

#include "threadpriority.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

#include <csignal>

namespace {

void waitForScansAtExit();

// Scans get a pool of their own: its threads run at low priority, and a lister that hangs
// can hold only these few threads until its time bound kills it. The pool is never
// destroyed; the application waits for it as it shuts down instead (see below).
QThreadPool& scanPool()
{
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(4);
        p->setExpiryTimeout(30000);
        qAddPostRoutine(waitForScansAtExit);
        return p;
    }();
    return *pool;
}

// Runs while the application object is being destroyed: a query still running would
// otherwise post its result to an application object that is gone.
void waitForScansAtExit()
{
    scanPool().waitForDone();
}

} // namespace

PortScanner::PortScanner(std::shared_ptr<PortSource> source,
                         std::shared_ptr<ProcessControl> processes, QObject* parent)
    : QObject(parent), m_source(std::move(source)), m_processes(std::move(processes))
{
    scan();
    m_timer = new QTimer(this);
    m_timer->setInterval(refreshIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &PortScanner::scan);
    m_timer->start();
}

PortScanner::~PortScanner() = default;

void PortScanner::scan()
{
    // The worker keeps the source alive; the result comes back through the application
    // object and is dropped there if this scanner is gone by then.
    scanPool().start([source = m_source, self = QPointer<PortScanner>(this)] {
        lowerCurrentThreadPriority();
        QueryResult result = source->query();
        // A failed query publishes an empty list, whatever the source left in it.
        QList<ListeningPort> ports;
        if (result.ok())
            ports = std::move(result.ports);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, ports = std::move(ports)]() mutable {
                if (self)
                    self->publish(std::move(ports));
            },
            Qt::QueuedConnection);
    });
}

void PortScanner::setCountConnections(bool count)
{
    if (count == m_countConnections)
        return;
    m_countConnections = count;
    m_source->setCountConnections(count);
    if (count)
        scan();
}

bool PortScanner::waitForPendingScans(int msecs)
{
    return scanPool().waitForDone(msecs);
}

void PortScanner::publish(QList<ListeningPort> ports)
{
    m_ports = std::move(ports);
    Q_EMIT portsChanged();
    m_lastScan = QDateTime::currentDateTime();
    Q_EMIT lastScanChanged();
}

std::shared_ptr<ProcessControl::Handle> PortScanner::openProcess(const ListeningPort& port) const
{
    const qint32 pid = port.pid();
    // kill(2) with 0 or a negative pid signals a whole process group.
    if (pid <= 0 || pid == m_processes->ownPid())
        return nullptr;
    // A pid may have passed to another process since the scan.
    std::shared_ptr<ProcessControl::Handle> process = m_processes->open(pid);
    if (!process || !isSameProcess(process->identity(), port.owner()))
        return nullptr;
    return process;
}

bool PortScanner::isOtherUsersProcess(const ProcessControl::Handle& process) const
{
    return m_processes->ownUid() == 0 && process.owner() &&
           *process.owner() != m_processes->ownUid();
}

SignalOutcome PortScanner::kill(const ListeningPort& port, ProcessControl::Handle* process,
                                KillMode mode)
{
    QTimer::singleShot(rescanAfterKillMs, this, &PortScanner::scan);
    if (!process || (!port.sockets().isEmpty() && !process->holdsSocket(port.sockets())))
        return SignalOutcome::Gone;
    return process->sendSignal(mode == KillMode::Force ? SIGKILL : SIGTERM);
}

SignalOutcome PortScanner::kill(const ListeningPort& port, KillMode mode)
{
    return kill(port, openProcess(port).get(), mode);
}
