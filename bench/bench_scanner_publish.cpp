// Main-thread time of one publish: a scan's result arriving with 10,000 records, assigned
// and signalled. Measured around the delivery of the queued call that carries the result,
// so it includes freeing the list it replaces. Target: under 1 ms per publish.

#include "portscanner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int recordCount = 10000;
constexpr int publishCount = 300;

// A fresh list on every query, as a real source builds one, so the main thread frees a
// list of its own each time it replaces one.
class ManyPortsSource final : public PortSource
{
public:
    QueryResult query() override
    {
        QueryResult result;
        result.ports.reserve(recordCount);
        for (int i = 0; i < recordCount; ++i)
            result.ports.append(
                ListeningPort(1024 + i, 10000 + i, QStringLiteral("server-%1").arg(i % 97)));
        return result;
    }
};

// Times every queued call delivered to the application object: that is how results reach
// the main thread.
class TimingApplication final : public QCoreApplication
{
public:
    using QCoreApplication::QCoreApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        if (receiver != this || event->type() != QEvent::MetaCall)
            return QCoreApplication::notify(receiver, event);
        QElapsedTimer clock;
        clock.start();
        const bool handled = QCoreApplication::notify(receiver, event);
        samplesNs.push_back(clock.nsecsElapsed());
        return handled;
    }

    std::vector<qint64> samplesNs;
};

} // namespace

int main(int argc, char** argv)
{
    TimingApplication app(argc, argv);
    PortScanner scanner(std::make_shared<ManyPortsSource>());
    // An observer that reads the list, as the panel does.
    qsizetype seen = 0;
    QObject::connect(&scanner, &PortScanner::portsChanged, &app,
                     [&] { seen += scanner.ports().size(); });

    int published = 0;
    QObject::connect(&scanner, &PortScanner::lastScanChanged, &app, [&] { ++published; });
    while (published < 1)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    app.samplesNs.clear();

    for (int i = 0; i < publishCount; ++i) {
        const int before = published;
        scanner.scan();
        while (published == before)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }

    std::vector<qint64> samples = app.samplesNs;
    std::sort(samples.begin(), samples.end());
    qint64 total = 0;
    for (const qint64 ns : samples)
        total += ns;
    const double meanUs = samples.empty() ? 0 : total / 1000.0 / double(samples.size());
    const double medianUs = samples.empty() ? 0 : samples[samples.size() / 2] / 1000.0;
    const double maxUs = samples.empty() ? 0 : samples.back() / 1000.0;

    std::printf("bench_scanner_publish: %d publishes of %d records (%lld records seen)\n",
                int(samples.size()), recordCount, static_cast<long long>(seen));
    std::printf("  %-34s %10s %10s\n", "", "measured", "target");
    std::printf("  %-34s %8.1f us %10s\n", "main-thread time per publish, mean", meanUs,
                "< 1000 us");
    std::printf("  %-34s %8.1f us %10s\n", "median", medianUs, "< 1000 us");
    std::printf("  %-34s %8.1f us %10s\n", "worst", maxUs, "");
    return meanUs < 1000.0 ? 0 : 1;
}
