// CPU time per scan of the native /proc source, both its full walk and its steady state
// (a scan that learns from the previous one, on a machine where little changes), against
// lsof and ss on this machine. Run it on a loaded machine, e.g. through
// bench/run-port-sources.sh, which starts /work/shared/bench/busy-host 300 100 2 around it.
//
//   bench_port_sources [scans]        (default 10; the steady state gets 20 times as many)

#include "childprocess.h"
#include "lsofparser.h"
#include "lsofsource.h"
#include "procnetsource.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStandardPaths>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace std::chrono_literals;

namespace {

double cpuSeconds(int who)
{
    rusage usage{};
    ::getrusage(who, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Figure
{
    double cpu = 0;  // seconds per scan, user + system
    double wall = 0; // seconds per scan
    qsizetype records = -1;
};

// `who` is RUSAGE_SELF for work done in this process, RUSAGE_CHILDREN for a child's.
Figure measure(int scans, int who, const std::function<qsizetype()>& scan)
{
    scan(); // warm caches, as a repeating scanner would have them
    Figure figure;
    QElapsedTimer timer;
    const double before = cpuSeconds(who);
    timer.start();
    for (int i = 0; i < scans; ++i)
        figure.records = scan();
    figure.wall = double(timer.nsecsElapsed()) / 1e9 / scans;
    figure.cpu = (cpuSeconds(who) - before) / scans;
    return figure;
}

double processCpuSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

struct SteadyFigure
{
    double mean = 0;   // CPU seconds per scan
    double median = 0; // the same, robust to a full walk brought on by the machine's churn
    qsizetype records = -1;
    SocketOwnerWalk::Counts counts; // during the measured scans only
};

// The incremental source after its first (full) walk: each scan timed on its own.
SteadyFigure measureSteady(int scans)
{
    ProcNetSource source;
    source.query();
    const SocketOwnerWalk::Counts before = source.counts();
    std::vector<double> perScan;
    perScan.reserve(size_t(scans));
    SteadyFigure figure;
    for (int i = 0; i < scans; ++i) {
        const double start = processCpuSeconds();
        figure.records = source.query().ports.size();
        perScan.push_back(processCpuSeconds() - start);
    }
    const SocketOwnerWalk::Counts after = source.counts();
    figure.counts.fullWalks = after.fullWalks - before.fullWalks;
    figure.counts.partialScans = after.partialScans - before.partialScans;
    figure.counts.processesWalked = after.processesWalked - before.processesWalked;
    for (const double seconds : perScan)
        figure.mean += seconds / scans;
    std::sort(perScan.begin(), perScan.end());
    figure.median = perScan[perScan.size() / 2];
    return figure;
}

// tidewatch-ports --repeat, measured from outside: the steady cost per scan is what
// `--repeat 1+scans` costs more than `--repeat 1`.
double measureToolSteady(int scans)
{
    const auto childCpu = [](int repeat) {
        const double before = cpuSeconds(RUSAGE_CHILDREN);
        ChildRun::run(QStringLiteral(TIDEWATCH_PORTS_PATH),
                      {QStringLiteral("--repeat"), QString::number(repeat)}, 600s);
        return cpuSeconds(RUSAGE_CHILDREN) - before;
    };
    childCpu(1); // warm caches
    const double one = childCpu(1);
    const double many = childCpu(1 + scans);
    return (many - one) / scans;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int scans = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    const auto find = [](const char* name, const char* fallback) {
        const QString found = QStandardPaths::findExecutable(
            QString::fromLatin1(name), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin"),
                                        QStringLiteral("/sbin"), QStringLiteral("/bin")});
        return found.isEmpty() ? QString::fromLatin1(fallback) : found;
    };
    const QString lsof = find("lsof", "/usr/bin/lsof");
    const QString ss = find("ss", "/usr/bin/ss");

    ProcNetSource fullWalk(QStringLiteral("/proc"), ProcNetSource::Walk::Full);
    const Figure nativeFigure =
        measure(scans, RUSAGE_SELF, [&] { return fullWalk.query().ports.size(); });
    const int steadyScans = 20 * scans;
    const SteadyFigure steady = measureSteady(steadyScans);
    const double toolSteady = measureToolSteady(steadyScans);
    const Figure lsofFigure = measure(scans, RUSAGE_CHILDREN, [&] {
        const ChildRun run = ChildRun::run(lsof, LsofSource::arguments(), 120s);
        return LsofParser::parse(QByteArrayView(run.output))
            .value_or(QList<ListeningPort>())
            .size();
    });
    const Figure ssFigure = measure(scans, RUSAGE_CHILDREN, [&] {
        const ChildRun run = ChildRun::run(ss, {QStringLiteral("-ltnp")}, 120s);
        return qsizetype(run.output.count('\n')) - 1; // less the header
    });

    std::printf("Port sources, %d scans each, per scan:\n", scans);
    std::printf("  %-36s %10s %10s %8s\n", "source", "CPU ms", "wall ms", "records");
    const auto row = [](const char* name, const Figure& figure) {
        std::printf("  %-36s %10.2f %10.2f %8lld\n", name, figure.cpu * 1e3, figure.wall * 1e3,
                    static_cast<long long>(figure.records));
    };
    row("native, full walk", nativeFigure);
    row("lsof -iTCP -sTCP:LISTEN -P -n -F pcn", lsofFigure);
    row("ss -ltnp", ssFigure);
    std::printf("\nSteady state of the native source, %d scans after its first:\n", steadyScans);
    std::printf("  %-36s %10.2f\n", "CPU ms per scan, median", steady.median * 1e3);
    std::printf("  %-36s %10.2f\n", "CPU ms per scan, mean", steady.mean * 1e3);
    std::printf("  %-36s %10.2f\n", "tidewatch-ports --repeat, per scan", toolSteady * 1e3);
    std::printf("  %-36s %10lld\n", "records", static_cast<long long>(steady.records));
    std::printf("  full walks %llu, partial scans %llu, processes walked %llu\n",
                static_cast<unsigned long long>(steady.counts.fullWalks),
                static_cast<unsigned long long>(steady.counts.partialScans),
                static_cast<unsigned long long>(steady.counts.processesWalked));

    std::printf("\n");
    const auto ratio = [](const char* name, double value, double target) {
        std::printf("  %-30s = %.3f   (target <= %.1f)  %s\n", name, value, target,
                    value <= target ? "met" : "MISSED");
    };
    ratio("full walk / ss", nativeFigure.cpu / ssFigure.cpu, 1.0);
    ratio("full walk / lsof", nativeFigure.cpu / lsofFigure.cpu, 0.5);
    ratio("steady (median) / ss", steady.median / ssFigure.cpu, 0.1);
    ratio("steady (mean) / ss", steady.mean / ssFigure.cpu, 0.1);
    ratio("tidewatch-ports steady / ss", toolSteady / ssFigure.cpu, 0.1);
    // The panel scans every 5 s and walks everything at least every 60 s: 11 steady scans
    // and one full walk a minute.
    const double perMinute = (11 * steady.median + nativeFigure.cpu) / 12;
    std::printf("  %-30s = %.3f   (%.2f ms a scan over a minute of 5 s scans)\n",
                "minute average / ss", perMinute / ssFigure.cpu, perMinute * 1e3);
    return 0;
}
