// The panel under a big list: main-thread time to publish 10,000 records to an open panel,
// from the delivery of the scan's result until the list has been painted, and the memory
// the process grows per record. Runs offscreen. Targets: under 16 ms, under 2 KiB/record.

#include "applicationinfo.h"
#include "nodesktop.h"
#include "portlist.h"
#include "portlistview.h"
#include "portscanner.h"
#include "processdetails.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QMutex>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unistd.h>
#include <vector>

namespace {

constexpr int recordCount = 10000;
constexpr int publishCount = 60;

// Answers a fresh list of the size asked for; each call changes every pid, so each publish
// really changes what the panel shows. One in a hundred ports is a hidden system port.
class ManyPortsSource final : public PortSource
{
public:
    void setCount(int count)
    {
        QMutexLocker lock(&m_mutex);
        m_count = count;
    }

    QueryResult query() override
    {
        int count = 0;
        int generation = 0;
        {
            QMutexLocker lock(&m_mutex);
            count = m_count;
            generation = ++m_generation;
        }
        QueryResult result;
        result.ports.reserve(count);
        for (int i = 0; i < count; ++i) {
            const qint64 port = i % 100 == 0 ? i / 100 + 1 : 1024 + i;
            result.ports.append(ListeningPort(port, generation * 100000 + i,
                                              QStringLiteral("server-%1").arg(i % 97)));
        }
        return result;
    }

private:
    QMutex m_mutex;
    int m_count = 0;
    int m_generation = 0;
};

qint64 threadCpuNs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * sysconf(_SC_PAGESIZE) : 0;
}

// Starts the clock when a scan's result reaches the main thread (results arrive as queued
// calls on the application object).
class TimingApplication final : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        if (receiver == this && event->type() == QEvent::MetaCall && publishStartNs < 0)
            publishStartNs = threadCpuNs();
        return QApplication::notify(receiver, event);
    }

    qint64 publishStartNs = -1;
};

// Counts paints of the list's viewport: the publish is done once the new rows are drawn.
class PaintCounter final : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
    int paints = 0;
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TimingApplication app(argc, argv);
    NoDesktop desktop;
    auto source = std::make_shared<ManyPortsSource>();
    PortScanner scanner(source);
    ApplicationInfo info = ApplicationInfo::fromBuild();
    const auto details = ProcessDetailsProvider::platform();
    PortListView panel(scanner, desktop, *details, info);
    panel.show();

    int published = 0;
    QObject::connect(&scanner, &PortScanner::lastScanChanged, &app, [&] { ++published; });
    auto publish = [&] {
        const int before = published;
        scanner.scan();
        while (published == before)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    };
    auto settle = [&] {
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    };

    publish(); // the first, empty list
    settle();
    const qint64 rssEmpty = residentBytes();

    source->setCount(recordCount);
    PaintCounter counter;
    panel.list()->viewport()->installEventFilter(&counter);
    std::vector<qint64> samples;
    for (int i = 0; i < publishCount; ++i) {
        const int paintsBefore = counter.paints;
        app.publishStartNs = -1;
        publish();
        // Waiting blocks without using the thread's CPU, so only the work is counted.
        while (counter.paints == paintsBefore)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        samples.push_back(threadCpuNs() - app.publishStartNs);
    }
    settle();
    const qint64 rssFull = residentBytes();

    std::sort(samples.begin(), samples.end());
    const double medianMs = samples[samples.size() / 2] / 1e6;
    const double worstMs = samples.back() / 1e6;
    const double bytesPerRecord = double(rssFull - rssEmpty) / recordCount;

    std::printf("bench_panel: %d publishes of %d records to a shown panel (%d rows in its list)\n",
                publishCount, recordCount, int(panel.list()->model()->rowCount()));
    std::printf("  %-44s %12s %12s\n", "", "measured", "target");
    std::printf("  %-44s %9.2f ms %12s\n", "main-thread CPU per publish, median", medianMs,
                "< 16 ms");
    std::printf("  %-44s %9.2f ms %12s\n", "worst", worstMs, "< 16 ms");
    std::printf("  %-44s %9.0f B  %12s\n", "resident growth per record (whole process)",
                bytesPerRecord, "< 2048 B");
    std::printf("  (resident: %.1f MiB with 0 records, %.1f MiB with %d)\n", rssEmpty / 1048576.0,
                rssFull / 1048576.0, recordCount);
    return medianMs < 16.0 && bytesPerRecord < 2048.0 ? 0 : 1;
}
