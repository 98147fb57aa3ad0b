#include "fakeportsource.h"
#include "portscanner.h"
#include "recordingprocesscontrol.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <csignal>

namespace {

using PortList = QList<ListeningPort>;

const PortList webServers{{3000, 10, QStringLiteral("node")},
                          {8080, 11, QStringLiteral("python3")}};

// Well under the 5-second refresh, so a publish within it did not come from the timer.
constexpr int beforeTimerMs = 2000;

// Lets a query held in a test's hook go even when the test fails half-way, and waits for
// it, so no worker touches the test's locals after they are gone.
auto unblockOnExit(QSemaphore& release)
{
    return qScopeGuard([&release] {
        release.release(16);
        PortScanner::waitForPendingScans();
    });
}

// A child listening on a loopback port; the port is known once it printed it.
struct Listener
{
    QProcess process;
    qint64 port = 0;

    bool start(const QStringList& arguments)
    {
        process.start(QStringLiteral(LISTENERCHILD_PATH), arguments);
        if (!process.waitForStarted() ||
            !QTest::qWaitFor([&] { return process.canReadLine(); }, 5000))
            return false;
        port = process.readLine().trimmed().toLongLong();
        return port > 0;
    }
    std::optional<ListeningPort> record(const PortList& ports) const
    {
        for (const ListeningPort& record : ports)
            if (record.port() == port && record.pid() == qint32(process.processId()))
                return record;
        return std::nullopt;
    }
    ~Listener()
    {
        process.kill();
        process.waitForFinished();
    }
};

} // namespace

class TestPortScanner : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PortScanner> scanner(std::shared_ptr<PortSource> source,
                                         std::shared_ptr<ProcessControl> processes = nullptr)
    {
        if (!processes)
            processes = std::make_shared<RecordingProcessControl>();
        return std::make_unique<PortScanner>(std::move(source), std::move(processes));
    }

private Q_SLOTS:
    void cleanup()
    {
        // A query left running must not publish into the next test.
        QVERIFY(PortScanner::waitForPendingScans(10000));
        QCoreApplication::processEvents();
    }

    void publishesEachScan_data()
    {
        QTest::addColumn<QueryResult>("second");
        QTest::addColumn<PortList>("expected");
        QTest::addRow("equal result still notifies")
            << QueryResult{webServers, {}, {}} << webServers;
        QTest::addRow("failure carrying records publishes empty")
            << QueryResult{webServers, QueryError::TimedOut, QStringLiteral("killed")}
            << PortList{};
    }
    void publishesEachScan()
    {
        QFETCH(QueryResult, second);
        QFETCH(PortList, expected);

        auto source = std::make_shared<FakePortSource>(webServers);
        const auto scanner = this->scanner(source);
        QStringList order;
        connect(scanner.get(), &PortScanner::portsChanged, this,
                [&] { order << QStringLiteral("ports") + (scanner->lastScan() ? u"+" : u"-"); });
        connect(scanner.get(), &PortScanner::lastScanChanged, this,
                [&] { order << QStringLiteral("time"); });
        QVERIFY(scanner->ports().isEmpty() && !scanner->lastScan());

        // The first scan publishes without waiting for the timer.
        QTRY_COMPARE_WITH_TIMEOUT(order.size(), 2, beforeTimerMs);
        QCOMPARE(scanner->ports(), webServers);
        const QDateTime first = *scanner->lastScan();

        source->setResult(second);
        scanner->scan();
        QTRY_COMPARE_WITH_TIMEOUT(order.size(), 4, beforeTimerMs);
        QCOMPARE(scanner->ports(), expected);
        QVERIFY(*scanner->lastScan() >= first);
        // The list is assigned first, then the time: two notifications per scan.
        QCOMPARE(order, QStringList({QStringLiteral("ports-"), QStringLiteral("time"),
                                     QStringLiteral("ports+"), QStringLiteral("time")}));
    }

    void overlappingScansBothPublish()
    {
        const PortList late{{9000, 12, QStringLiteral("php-fpm")}};
        auto source = std::make_shared<FakePortSource>(webServers);
        QSemaphore release;
        std::atomic<int> calls = 0;
        const auto unblock = unblockOnExit(release);
        // The constructor's scan is held until the next scan has published.
        source->setHook([&] {
            if (calls.fetch_add(1) == 0)
                release.acquire();
        });
        const auto scanner = this->scanner(source);
        QSignalSpy published(scanner.get(), &PortScanner::portsChanged);
        QTRY_COMPARE(calls.load(), 1);

        scanner->scan();
        QTRY_COMPARE_WITH_TIMEOUT(published.size(), 1, beforeTimerMs);
        QCOMPARE(scanner->ports(), webServers);

        // The scan that started first finishes last, and its list stays.
        source->setPorts(late);
        release.release();
        QTRY_COMPARE_WITH_TIMEOUT(published.size(), 2, beforeTimerMs);
        QCOMPARE(scanner->ports(), late);
    }

    void destroyedWhileScanning()
    {
        auto source = std::make_shared<FakePortSource>(webServers);
        QSemaphore entered;
        QSemaphore release;
        const auto unblock = unblockOnExit(release);
        source->setHook([&] {
            entered.release();
            release.acquire();
        });
        auto scanner = this->scanner(source);
        QTRY_COMPARE(entered.available(), 1);

        scanner.reset();
        release.release();
        QVERIFY(PortScanner::waitForPendingScans(10000));
        // The finished query's result reaches the event loop and is dropped there.
        QCoreApplication::processEvents();
        QCOMPARE(source->queryCount(), 1);
    }

    void killGuards_data()
    {
        QTest::addColumn<ListeningPort>("record");
        QTest::addColumn<bool>("force");
        QTest::addColumn<bool>("isSent");

        // Known processes: 0, -1 and 500 are "node", 501 is "bash", 1 is this program.
        const QString node = QStringLiteral("node");
        QTest::addRow("live process with the record's name")
            << ListeningPort(3000, 500, node) << false << true;
        QTest::addRow("pid 0 would signal our group")
            << ListeningPort(3000, 0, node) << false << false;
        QTest::addRow("pid -1 would signal everyone")
            << ListeningPort(3000, -1, node) << true << false;
        QTest::addRow("own pid") << ListeningPort(3000, 1, QStringLiteral("tidewatch")) << true
                                 << false;
        QTest::addRow("pid reused by another program")
            << ListeningPort(3000, 501, node) << false << false;
        QTest::addRow("process gone") << ListeningPort(3000, 502, node) << false << false;
    }
    void killGuards()
    {
        QFETCH(ListeningPort, record);
        QFETCH(bool, force);
        QFETCH(bool, isSent);

        auto processes = std::make_shared<RecordingProcessControl>();
        for (const qint32 pid : {0, -1, 500})
            processes->setProcess(pid, QStringLiteral("node"));
        processes->setProcess(501, QStringLiteral("bash"));
        processes->setProcess(1, QStringLiteral("tidewatch"));
        const auto scanner =
            this->scanner(std::make_shared<FakePortSource>(PortList{record}), processes);
        QSignalSpy published(scanner.get(), &PortScanner::lastScanChanged);
        QTRY_COMPARE_WITH_TIMEOUT(published.size(), 1, beforeTimerMs);

        QElapsedTimer clock;
        clock.start();
        scanner->kill(record, force ? PortScanner::KillMode::Force : PortScanner::KillMode::Polite);
        QList<QPair<qint32, int>> expected;
        if (isSent)
            expected.append({record.pid(), force ? SIGKILL : SIGTERM});
        QCOMPARE(processes->sentSignals, expected);

        // Whatever was sent, the record stays until the rescan half a second later.
        QCOMPARE(scanner->ports(), PortList{record});
        QTRY_COMPARE_WITH_TIMEOUT(published.size(), 2, beforeTimerMs);
        QVERIFY(clock.elapsed() >= PortScanner::rescanAfterKillMs - 50);
    }

    // Real processes through the platform's source and process calls.
    void killRealListener_data()
    {
        QTest::addColumn<bool>("ignoresTerm");
        QTest::addRow("ends on SIGTERM") << false;
        QTest::addRow("ignores SIGTERM, ends on SIGKILL") << true;
    }
    void killRealListener()
    {
        QFETCH(bool, ignoresTerm);
        Listener child;
        QVERIFY(child.start(ignoresTerm ? QStringList{QStringLiteral("--ignore-term")}
                                        : QStringList{}));
        PortScanner scanner(makePlatformPortSource());
        QSignalSpy published(&scanner, &PortScanner::lastScanChanged);
        std::optional<ListeningPort> record;
        QTRY_VERIFY_WITH_TIMEOUT((record = child.record(scanner.ports())).has_value(),
                                 PortScanner::refreshIntervalMs + 3000);
        QCOMPARE(record->processName(), QStringLiteral("listenerchild"));

        const qsizetype before = published.size();
        scanner.kill(*record);
        if (ignoresTerm) {
            // After the rescan the process and its record are still there.
            QTRY_VERIFY_WITH_TIMEOUT(published.size() > before, beforeTimerMs);
            QCOMPARE(child.process.state(), QProcess::Running);
            QVERIFY(child.record(scanner.ports()));
            scanner.kill(*record, PortScanner::KillMode::Force);
        }
        QTRY_COMPARE_WITH_TIMEOUT(child.process.state(), QProcess::NotRunning, 1000);
        QCOMPARE(child.process.exitStatus(), QProcess::CrashExit);
        QTRY_VERIFY_WITH_TIMEOUT(!child.record(scanner.ports()), 1500);
    }
};

QTEST_GUILESS_MAIN(TestPortScanner)
#include "tst_portscanner.moc"
