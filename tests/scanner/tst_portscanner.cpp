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

    // Lets a query held in a test's hook go even when the test fails half-way, and waits
    // for it, so no worker touches the test's locals after they are gone.
    static auto unblockOnExit(QSemaphore& release)
    {
        return qScopeGuard([&release] {
            release.release(16);
            PortScanner::waitForPendingScans();
        });
    }

private Q_SLOTS:
    void cleanup()
    {
        // A query left running must not publish into the next test.
        QVERIFY(PortScanner::waitForPendingScans(10000));
        QCoreApplication::processEvents();
    }

    // Scans overlap and each publishes when its own query ends, the list first, then the
    // time, even when nothing changed; a failure publishes an empty list.
    void publishesEachScan()
    {
        auto source = std::make_shared<FakePortSource>(webServers);
        QSemaphore release;
        const auto unblock = unblockOnExit(release);
        std::atomic<int> calls = 0;
        source->hook = [&] { // holds the constructor's scan
            if (calls.fetch_add(1) == 0)
                release.acquire();
        };
        PortScanner scanner(source, std::make_shared<RecordingProcessControl>());
        QStringList order;
        connect(&scanner, &PortScanner::portsChanged, this, [&] {
            order << QStringLiteral("%1 ports").arg(scanner.ports().size()) +
                         (scanner.lastScan() ? u"+" : u"-");
        });
        connect(&scanner, &PortScanner::lastScanChanged, this,
                [&] { order << QStringLiteral("time"); });
        QTRY_COMPARE(calls.load(), 1);
        QVERIFY(scanner.ports().isEmpty() && !scanner.lastScan());

        scanner.scan();
        QTRY_COMPARE_WITH_TIMEOUT(order.size(), 2, beforeTimerMs);
        const QDateTime first = *scanner.lastScan();
        scanner.scan(); // the same list again
        QTRY_COMPARE_WITH_TIMEOUT(order.size(), 4, beforeTimerMs);
        // The scan that started first finishes last, failing, and its empty list stays.
        source->setResult({webServers, QueryError::TimedOut, QStringLiteral("killed")});
        release.release();
        QTRY_COMPARE_WITH_TIMEOUT(order.size(), 6, beforeTimerMs);
        QCOMPARE(order.join(u", "),
                 QStringLiteral("2 ports-, time, 2 ports+, time, 0 ports+, time"));
        QVERIFY(*scanner.lastScan() >= first);
    }

    void destroyedWhileScanning()
    {
        auto source = std::make_shared<FakePortSource>(webServers);
        QSemaphore entered;
        QSemaphore release;
        const auto unblock = unblockOnExit(release);
        source->hook = [&] {
            entered.release();
            release.acquire();
        };
        auto scanner = std::make_unique<PortScanner>(source);
        QTRY_COMPARE(entered.available(), 1);
        scanner.reset();
        release.release();
        QVERIFY(PortScanner::waitForPendingScans(10000));
        // The finished query's result reaches the event loop and is dropped there.
        QCoreApplication::processEvents();
        QCOMPARE(source->queryCount(), 1);
    }

    // Known processes: 0, -1, 500 and 1 (this program) are "node", 501 is "bash".
    void killGuards_data()
    {
        QTest::addColumn<qint32>("pid");
        QTest::addColumn<bool>("isSent");
        QTest::addRow("live process with the record's name") << 500 << true;
        QTest::addRow("pid 0 would signal our group") << 0 << false;
        QTest::addRow("pid -1 would signal everyone") << -1 << false;
        QTest::addRow("own pid") << 1 << false;
        QTest::addRow("pid reused by another program") << 501 << false;
        QTest::addRow("process gone") << 502 << false;
    }
    void killGuards()
    {
        QFETCH(qint32, pid);
        QFETCH(bool, isSent);
        auto processes = std::make_shared<RecordingProcessControl>();
        for (const qint32 known : {0, -1, 500, 1})
            processes->setProcess(known, QStringLiteral("node"));
        processes->setProcess(501, QStringLiteral("bash"));
        const ListeningPort record(3000, pid, QStringLiteral("node"));
        PortScanner scanner(std::make_shared<FakePortSource>(PortList{record}), processes);
        QSignalSpy published(&scanner, &PortScanner::lastScanChanged);
        QTRY_COMPARE_WITH_TIMEOUT(published.size(), 1, beforeTimerMs);

        QElapsedTimer clock;
        clock.start();
        for (const auto mode : {PortScanner::KillMode::Polite, PortScanner::KillMode::Force})
            scanner.kill(record, mode);
        const QList<std::pair<qint32, int>> sent{{pid, SIGTERM}, {pid, SIGKILL}};
        QCOMPARE(processes->sentSignals, isSent ? sent : decltype(sent){});
        // Whatever was sent, the record stays until the rescan half a second later.
        QCOMPARE(scanner.ports(), PortList{record});
        QTRY_VERIFY_WITH_TIMEOUT(published.size() >= 2, beforeTimerMs);
        QVERIFY(clock.elapsed() >= PortScanner::rescanAfterKillMs - 50);
    }
};

QTEST_GUILESS_MAIN(TestPortScanner)
#include "tst_portscanner.moc"
