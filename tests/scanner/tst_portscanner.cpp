#include "fakeportsource.h"
#include "portscanner.h"
#include "recordingprocesscontrol.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>

#include <csignal>

// PortScanner over stand-ins; tst_procnetsource kills real processes through it.
class TestPortScanner : public QObject
{
    Q_OBJECT

    using PortList = QList<ListeningPort>;
    const PortList webServers{{3000, 10, QStringLiteral("node")},
                              {8080, 11, QStringLiteral("python3")}};
    // Well under the 5-second refresh, so a publish within it did not come from the timer.
    static constexpr int beforeTimerMs = 2000;

private Q_SLOTS:
    void cleanup()
    {
        // A query left running must not publish into the next test.
        QVERIFY(PortScanner::waitForPendingScans(10000));
        QCoreApplication::processEvents();
    }

    // Scans overlap and each publishes when its own query ends, the list first, then the
    // time, even when nothing changed; a failure publishes an empty list. A scanner
    // destroyed while its query runs drops the result when it arrives.
    void publishesEachScan()
    {
        auto source = std::make_shared<FakePortSource>(webServers);
        QSemaphore release;
        // Lets a held query go even when the test fails half-way, and waits for it, so no
        // worker touches the test's locals after they are gone.
        const auto unblock = qScopeGuard([&] {
            release.release(16);
            PortScanner::waitForPendingScans();
        });
        std::atomic<int> calls = 0;
        source->hook = [&] { // holds the first query
            if (calls.fetch_add(1) == 0)
                release.acquire();
        };
        auto scanner =
            std::make_unique<PortScanner>(source, std::make_shared<RecordingProcessControl>());
        QStringList order;
        connect(scanner.get(), &PortScanner::portsChanged, this, [&] {
            order << QStringLiteral("%1 ports").arg(scanner->ports().size()) +
                         (scanner->lastScan() ? u"+" : u"-");
        });
        connect(scanner.get(), &PortScanner::lastScanChanged, this,
                [&] { order << QStringLiteral("time"); });
        QTRY_COMPARE(calls.load(), 1);
        QVERIFY(scanner->ports().isEmpty() && !scanner->lastScan());

        scanner->scan();
        QTRY_COMPARE_WITH_TIMEOUT(order.size(), 2, beforeTimerMs);
        const QDateTime first = *scanner->lastScan();
        scanner->scan(); // the same list again
        QTRY_COMPARE_WITH_TIMEOUT(order.size(), 4, beforeTimerMs);
        // The scan that started first finishes last, failing, and its empty list stays.
        source->setResult({webServers, QueryError::TimedOut, QStringLiteral("killed")});
        release.release();
        QTRY_COMPARE_WITH_TIMEOUT(order.size(), 6, beforeTimerMs);
        QCOMPARE(order.join(u", "),
                 QStringLiteral("2 ports-, time, 2 ports+, time, 0 ports+, time"));
        QVERIFY(*scanner->lastScan() >= first);

        calls = 0;
        scanner->scan();
        QTRY_COMPARE(calls.load(), 1);
        scanner.reset();
        release.release();
        QVERIFY(PortScanner::waitForPendingScans(10000));
        QCoreApplication::processEvents();
        QCOMPARE(order.size(), 6);
    }

    // Known processes: 0, -1, 500 and 1 (this program) are "node", 501 is "bash", 503 is
    // "node" started at 7777. Where the record has a start time, that decides, else the name.
    void killGuards_data()
    {
        QTest::addColumn<qint32>("pid");
        QTest::addColumn<quint64>("startTime"); // the record's
        QTest::addColumn<bool>("signalled");
        QTest::addRow("live process with the record's name: signalled") << 500 << 0ull << true;
        QTest::addRow("pid 0 would signal our group") << 0 << 0ull << false;
        QTest::addRow("pid -1 would signal everyone") << -1 << 0ull << false;
        QTest::addRow("own pid") << 1 << 0ull << false;
        QTest::addRow("pid reused by another program") << 501 << 0ull << false;
        QTest::addRow("process gone") << 502 << 0ull << false;
        QTest::addRow("started when the record says: signalled") << 503 << 7777ull << true;
        QTest::addRow("pid reused by the same program") << 503 << 7778ull << false;
    }
    void killGuards()
    {
        QFETCH(qint32, pid);
        QFETCH(quint64, startTime);
        QFETCH(bool, signalled);
        auto processes = std::make_shared<RecordingProcessControl>();
        for (const qint32 known : {0, -1, 500, 1})
            processes->setProcess(known, QStringLiteral("node"));
        processes->setProcess(501, QStringLiteral("bash"));
        processes->setProcess(503, QStringLiteral("node"), 7777);
        const ListeningPort record(3000, pid, QStringLiteral("node"), {}, {}, startTime);
        PortScanner scanner(std::make_shared<FakePortSource>(PortList{record}), processes);
        QSignalSpy published(&scanner, &PortScanner::lastScanChanged);
        QTRY_COMPARE_WITH_TIMEOUT(published.size(), 1, beforeTimerMs);

        QElapsedTimer clock;
        clock.start();
        for (const auto mode : {PortScanner::KillMode::Polite, PortScanner::KillMode::Force})
            scanner.kill(record, mode);
        const QList<std::pair<qint32, int>> sent{{pid, SIGTERM}, {pid, SIGKILL}};
        QCOMPARE(processes->sentSignals, signalled ? sent : decltype(sent){});
        // Whatever was sent, the record stays until the rescan half a second later.
        QCOMPARE(scanner.ports(), PortList{record});
        QTRY_VERIFY_WITH_TIMEOUT(published.size() >= 2, beforeTimerMs);
        QVERIFY(clock.elapsed() >= PortScanner::rescanAfterKillMs - 50);
    }
};

QTEST_GUILESS_MAIN(TestPortScanner)
#include "tst_portscanner.moc"
