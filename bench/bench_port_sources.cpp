// CPU time of the native source, UDP listed and connections counted, on the machine as it
// is, next to `ss -ltunp` measured in
// the same run: its first (full) scan, and its steady scan (one more scan with a warm
// source, on a machine where little changes). bench/run-port-sources.sh runs it in a
// private namespace under each of the loads it is judged on.
//
//   bench_port_sources LABEL [scans]     (default 10; the steady state gets 20 times as many)
//
// Prints one block of rows under the header that run-port-sources.sh prints.

#include "childprocess.h"
#include "procnetsource.h"

#include <QCoreApplication>
#include <QStandardPaths>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr double steadyGoal = 0.05; // × ss
constexpr double firstGoal = 0.9;   // × ss

double childrenCpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double processCpuSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// CPU seconds of one run of a child, reaped.
double childCpu(const QString& program, const QStringList& arguments)
{
    const double before = childrenCpuSeconds();
    ChildRun::run(program, arguments, 600s);
    return childrenCpuSeconds() - before;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QByteArray label = argc > 1 ? QByteArray(argv[1]) : QByteArray("this machine");
    const int scans = argc > 2 ? std::max(1, atoi(argv[2])) : 10;
    QString ss = QStandardPaths::findExecutable(QStringLiteral("ss"),
                                                {QStringLiteral("/usr/bin"), QStringLiteral("/bin"),
                                                 QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    if (ss.isEmpty())
        ss = QStringLiteral("/usr/bin/ss");
    const QString tool = QStringLiteral(TIDEWATCH_PORTS_PATH);

    // ss: mean of its runs, after one to warm the caches.
    childCpu(ss, {QStringLiteral("-ltunp")});
    double ssCpu = 0;
    for (int i = 0; i < scans; ++i)
        ssCpu += childCpu(ss, {QStringLiteral("-ltunp")}) / scans;

    // The first scan of a fresh source walks every process.
    std::vector<double> first;
    qsizetype records = 0;
    for (int i = 0; i < scans + 1; ++i) {
        ProcNetSource source;
        source.setCountConnections(true);
        const double start = processCpuSeconds();
        records = source.query().ports.size();
        if (i > 0) // the first one warms the caches, as ss's first run did
            first.push_back(processCpuSeconds() - start);
    }

    // The steady scan in this process, each timed on its own, for the counts and spread.
    const int steadyScans = 20 * scans;
    ProcNetSource source;
    source.setCountConnections(true);
    source.query();
    const SocketOwnerWalk::Counts before = source.counts();
    std::vector<double> steady;
    for (int i = 0; i < steadyScans; ++i) {
        const double start = processCpuSeconds();
        source.query();
        steady.push_back(processCpuSeconds() - start);
    }
    const SocketOwnerWalk::Counts after = source.counts();

    // The steady scan as judged: what tidewatch-ports --repeat 1+N costs more than
    // --repeat 1, per scan.
    const auto repeat = [&](int n) {
        return childCpu(tool, {QStringLiteral("--repeat"), QString::number(n)});
    };
    repeat(1);
    const double one = std::min({repeat(1), repeat(1), repeat(1)});
    const double toolSteady = std::max(0.0, (repeat(1 + steadyScans) - one) / steadyScans);

    const auto row = [&](const char* figure, double seconds, double goal) {
        std::printf("  %-34s %10.3f ms", figure, seconds * 1e3);
        if (goal > 0)
            std::printf("  %7.3f × ss   goal ≤ %.2f × ss   %s", seconds / ssCpu, goal,
                        seconds / ssCpu <= goal ? "met" : "MISSED");
        std::printf("\n");
    };
    std::printf("%s: %lld records\n", label.constData(), static_cast<long long>(records));
    row("ss -ltunp, CPU per run", ssCpu, 0);
    row("first (full) scan, median", median(first), firstGoal);
    row("steady scan, tidewatch-ports", toolSteady, steadyGoal);
    row("steady scan in process, median", median(steady), steadyGoal);
    std::printf("  %d steady scans: %llu full walks, %llu listings of /proc skipped, "
                "%llu processes walked\n",
                steadyScans, static_cast<unsigned long long>(after.fullWalks - before.fullWalks),
                static_cast<unsigned long long>(after.listingsSkipped - before.listingsSkipped),
                static_cast<unsigned long long>(after.processesWalked - before.processesWalked));
    return 0;
}
