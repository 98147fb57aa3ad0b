// 100,000 scans in a row against a source answering 1,000 records: resident memory, open
// file descriptors and threads before and after. Targets: RSS growth under 1 MiB, the same
// descriptors, a bounded thread count (the scan pool holds at most 4). Takes about 25 s on
// a busy 2-core machine, nearly all of it thread hand-overs: the scans are strictly in a
// row, each waiting for its publish, so the run is bounded by 100,000 such round trips.

#include "portscanner.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int scanCount = 100000;
constexpr int warmUpScans = 2000;
constexpr int recordCount = 1000;

// A fresh copy of the same 1,000 records on every query.
class ThousandPortsSource final : public PortSource
{
public:
    ThousandPortsSource()
    {
        for (int i = 0; i < recordCount; ++i)
            m_ports.append(
                ListeningPort(1024 + i, 20000 + i, QStringLiteral("daemon-%1").arg(i % 50)));
    }
    QueryResult query() override
    {
        QueryResult result;
        result.ports.reserve(m_ports.size());
        for (const ListeningPort& port : m_ports)
            result.ports.append(port);
        return result;
    }

private:
    QList<ListeningPort> m_ports;
};

// A "Name:   value" line of /proc/self/status as a number (kB for VmRSS).
qint64 statusField(const char* name)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(name) + ':';
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

qint64 openDescriptors()
{
    return QDir(QStringLiteral("/proc/self/fd"))
        .entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
        .size();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    PortScanner scanner(std::make_shared<ThousandPortsSource>());
    int published = 0;
    QObject::connect(&scanner, &PortScanner::lastScanChanged, &app, [&] { ++published; });

    auto scanInARow = [&](int count, qint64& maxThreads) {
        for (int i = 0; i < count; ++i) {
            const int before = published;
            scanner.scan();
            while (published == before)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            if (i % 1000 == 0)
                maxThreads = std::max(maxThreads, statusField("Threads"));
        }
    };

    // The first scans grow the pool, the allocator's arenas and Qt's caches to their size.
    qint64 maxThreads = 0;
    scanInARow(warmUpScans, maxThreads);
    const qint64 rssBefore = statusField("VmRSS");
    const qint64 fdsBefore = openDescriptors();
    const qint64 threadsBefore = statusField("Threads");

    QElapsedTimer clock;
    clock.start();
    maxThreads = threadsBefore;
    scanInARow(scanCount, maxThreads);
    const qint64 elapsedMs = clock.elapsed();

    const qint64 rssAfter = statusField("VmRSS");
    const qint64 fdsAfter = openDescriptors();
    const qint64 threadsAfter = statusField("Threads");
    const qint64 growthKiB = rssAfter - rssBefore;

    std::printf("bench_scanner_soak: %d scans of %d records in %.1f s (%.1f us per scan)\n",
                scanCount, recordCount, elapsedMs / 1000.0, elapsedMs * 1000.0 / scanCount);
    std::printf("  %-26s %10s %10s %14s\n", "", "before", "after", "target");
    std::printf("  %-26s %7lld kB %7lld kB %14s\n", "resident memory",
                static_cast<long long>(rssBefore), static_cast<long long>(rssAfter),
                "growth < 1024 kB");
    std::printf("  %-26s %10lld %10lld %14s\n", "open file descriptors",
                static_cast<long long>(fdsBefore), static_cast<long long>(fdsAfter), "unchanged");
    std::printf("  %-26s %10lld %10lld %14s\n", "threads (max during run)",
                static_cast<long long>(threadsBefore), static_cast<long long>(maxThreads),
                "+ 4 at most");
    std::printf("  %-26s %10s %10lld\n", "threads at the end", "",
                static_cast<long long>(threadsAfter));
    std::printf("  resident memory growth: %lld kB (target < 1024 kB)\n",
                static_cast<long long>(growthKiB));

    const bool ok = growthKiB < 1024 && fdsAfter == fdsBefore && maxThreads <= threadsBefore + 4;
    return ok ? 0 : 1;
}
