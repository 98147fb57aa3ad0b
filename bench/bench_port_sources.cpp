// CPU time per scan of the native /proc source against lsof and ss on this machine.
// Run it on a loaded machine, e.g. through bench/run-port-sources.sh, which starts
// /work/shared/bench/busy-host 300 100 2 around it.
//
//   bench_port_sources [scans]        (default 10)

#include "childprocess.h"
#include "lsofparser.h"
#include "lsofsource.h"
#include "procnetsource.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStandardPaths>

#include <sys/resource.h>

#include <cstdio>
#include <functional>

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

    ProcNetSource native;
    const Figure nativeFigure =
        measure(scans, RUSAGE_SELF, [&] { return native.query().ports.size(); });
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
    row("native (/proc)", nativeFigure);
    row("lsof -iTCP -sTCP:LISTEN -P -n -F pcn", lsofFigure);
    row("ss -ltnp", ssFigure);
    const double toSs = nativeFigure.cpu / ssFigure.cpu;
    const double toLsof = nativeFigure.cpu / lsofFigure.cpu;
    std::printf("  native / ss   = %.3f   (target <= 1.0)  %s\n", toSs,
                toSs <= 1.0 ? "met" : "MISSED");
    std::printf("  native / lsof = %.3f   (target <= 0.5)  %s\n", toLsof,
                toLsof <= 0.5 ? "met" : "MISSED");
    return 0;
}
