#include "fakeportsource.h"
#include "portscanner.h"
#include "processcontrol.h"
#include "recordingdesktopservices.h"

#include <QElapsedTimer>
#include <QHash>
#include <QProcess>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <csignal>
#include <limits>

namespace {

using PortList = QList<ListeningPort>;

// Answers name lookups from a table and records signals instead of sending them.
class RecordingProcessControl final : public ProcessControl
{
public:
    std::optional<QString> processName(qint32 pid) const override
    {
        const auto it = names.constFind(pid);
        return it == names.cend() ? std::nullopt : std::optional<QString>(*it);
    }
    void sendSignal(qint32 pid, int signal) override { sent.append({pid, signal}); }
    qint32 ownPid() const override { return 4242; }

    QHash<qint32, QString> names;
    QList<std::pair<qint32, int>> sent;
};

const PortList webServers{{3000, 10, QStringLiteral("node")},
                          {8080, 11, QStringLiteral("python3")}};

QueryResult success(PortList ports)
{
    return QueryResult{std::move(ports), QueryError::None, {}};
}

// Lets a query held in a test's hook go even when the test fails half-way, and waits for
// it, so no worker touches the test's locals after they are gone.
auto unblockOnExit(QSemaphore& release)
{
    return qScopeGuard([&release] {
        release.release(16);
        PortScanner::waitForPendingScans();
    });
}

// Well under the 5-second refresh, so a publish within it did not come from the timer.
constexpr int beforeTimerMs = 2000;

} // namespace

class TestPortScanner : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();

    void publishesEachScan_data();
    void publishesEachScan();
    void overlappingScansBothPublish();
    void destroyedWhileScanning();

    void killGuards_data();
    void killGuards();
    void killEndsRealListener();
    void killForcesProcessIgnoringTerm();

    void openInBrowser_data();
    void openInBrowser();

private:
    RecordingDesktopServices m_desktop;
};

void TestPortScanner::cleanup()
{
    // A query left running must not publish into the next test.
    QVERIFY(PortScanner::waitForPendingScans(10000));
    QCoreApplication::processEvents();
    m_desktop.openedUrls.clear();
}

void TestPortScanner::publishesEachScan_data()
{
    QTest::addColumn<QueryResult>("second");
    QTest::addColumn<PortList>("expected");

    QTest::addRow("equal result still notifies") << success(webServers) << webServers;
    QTest::addRow("new result replaces the list")
        << success({{5432, 881, QStringLiteral("postgres")}})
        << PortList{{5432, 881, QStringLiteral("postgres")}};
    QTest::addRow("empty result") << success({}) << PortList{};
    QTest::addRow("failed query publishes empty")
        << QueryResult::failure(QueryError::StartFailed, QStringLiteral("no lsof")) << PortList{};
    QTest::addRow("failure carrying records publishes empty")
        << QueryResult{webServers, QueryError::TimedOut, QStringLiteral("killed")} << PortList{};
}

void TestPortScanner::publishesEachScan()
{
    QFETCH(QueryResult, second);
    QFETCH(PortList, expected);

    auto source = std::make_shared<FakePortSource>(webServers);
    PortScanner scanner(source, m_desktop, std::make_shared<RecordingProcessControl>());
    QStringList order;
    connect(&scanner, &PortScanner::portsChanged, this,
            [&] { order << QStringLiteral("ports") + (scanner.lastScan() ? u"+" : u"-"); });
    connect(&scanner, &PortScanner::lastScanChanged, this,
            [&] { order << QStringLiteral("time"); });

    QVERIFY(scanner.ports().isEmpty());
    QVERIFY(!scanner.lastScan());

    // The first scan publishes without waiting for the timer.
    QTRY_COMPARE_WITH_TIMEOUT(order.size(), 2, beforeTimerMs);
    QCOMPARE(scanner.ports(), webServers);
    QVERIFY(scanner.lastScan());
    const QDateTime first = *scanner.lastScan();

    source->setResult(second);
    scanner.scan();
    QTRY_COMPARE_WITH_TIMEOUT(order.size(), 4, beforeTimerMs);
    QCOMPARE(scanner.ports(), expected);
    QVERIFY(*scanner.lastScan() >= first);
    // The list is assigned first, then the time: two notifications per scan.
    QCOMPARE(order, QStringList({QStringLiteral("ports-"), QStringLiteral("time"),
                                 QStringLiteral("ports+"), QStringLiteral("time")}));
}

void TestPortScanner::overlappingScansBothPublish()
{
    const PortList early{{3000, 10, QStringLiteral("node")}};
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
    PortScanner scanner(source, m_desktop, std::make_shared<RecordingProcessControl>());
    QSignalSpy published(&scanner, &PortScanner::portsChanged);
    QTRY_COMPARE(calls.load(), 1);

    source->setPorts(early);
    scanner.scan();
    QTRY_COMPARE_WITH_TIMEOUT(published.size(), 1, beforeTimerMs);
    QCOMPARE(scanner.ports(), early);

    // The scan that started first finishes last, and its list stays.
    source->setPorts(late);
    release.release();
    QTRY_COMPARE_WITH_TIMEOUT(published.size(), 2, beforeTimerMs);
    QCOMPARE(scanner.ports(), late);
}

void TestPortScanner::destroyedWhileScanning()
{
    auto source = std::make_shared<FakePortSource>(webServers);
    QSemaphore entered;
    QSemaphore release;
    const auto unblock = unblockOnExit(release);
    source->setHook([&] {
        entered.release();
        release.acquire();
    });
    auto scanner = std::make_unique<PortScanner>(source, m_desktop,
                                                 std::make_shared<RecordingProcessControl>());
    QTRY_COMPARE(entered.available(), 1);

    scanner.reset();
    release.release();
    QVERIFY(PortScanner::waitForPendingScans(10000));
    // The finished query's result reaches the event loop and is dropped there.
    QCoreApplication::processEvents();
    QCOMPARE(source->queryCount(), 1);
}

void TestPortScanner::killGuards_data()
{
    QTest::addColumn<ListeningPort>("record");
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("isSent");

    const QString node = QStringLiteral("node");
    QTest::addRow("live process with the record's name")
        << ListeningPort(3000, 500, node) << int(SIGTERM) << true;
    QTest::addRow("forced kill") << ListeningPort(3000, 500, node) << int(SIGKILL) << true;
    QTest::addRow("pid 0 would signal our group")
        << ListeningPort(3000, 0, node) << int(SIGTERM) << false;
    QTest::addRow("pid -1 would signal everyone")
        << ListeningPort(3000, -1, node) << int(SIGKILL) << false;
    QTest::addRow("negative pid would signal a group")
        << ListeningPort(3000, -500, node) << int(SIGTERM) << false;
    QTest::addRow("own pid") << ListeningPort(3000, 4242, QStringLiteral("tidewatch"))
                             << int(SIGKILL) << false;
    QTest::addRow("pid reused by another program")
        << ListeningPort(3000, 501, node) << int(SIGTERM) << false;
    QTest::addRow("process gone") << ListeningPort(3000, 502, node) << int(SIGTERM) << false;
    QTest::addRow("record without a name")
        << ListeningPort(3000, 500, QString()) << int(SIGTERM) << false;
}

void TestPortScanner::killGuards()
{
    QFETCH(ListeningPort, record);
    QFETCH(int, signal);
    QFETCH(bool, isSent);

    auto processes = std::make_shared<RecordingProcessControl>();
    processes->names = {{0, QStringLiteral("node")},    {-1, QStringLiteral("node")},
                        {-500, QStringLiteral("node")}, {4242, QStringLiteral("tidewatch")},
                        {500, QStringLiteral("node")},  {501, QStringLiteral("bash")}};
    auto source = std::make_shared<FakePortSource>(PortList{record});
    PortScanner scanner(source, m_desktop, processes);
    QSignalSpy published(&scanner, &PortScanner::lastScanChanged);
    QTRY_COMPARE_WITH_TIMEOUT(published.size(), 1, beforeTimerMs);

    QElapsedTimer clock;
    clock.start();
    scanner.kill(record, signal);
    QList<std::pair<qint32, int>> expected;
    if (isSent)
        expected.append({record.pid(), signal});
    QCOMPARE(processes->sent, expected);

    // Whatever was sent, the record stays until the rescan half a second later.
    QCOMPARE(scanner.ports(), PortList{record});
    QTRY_COMPARE_WITH_TIMEOUT(published.size(), 2, beforeTimerMs);
    QVERIFY(clock.elapsed() >= PortScanner::rescanAfterKillMs - 50);
}

namespace {

// A child listening on a loopback port; the port is known once it printed it.
struct Listener
{
    QProcess process;
    qint64 port = 0;

    bool start(const QStringList& arguments)
    {
        process.start(QStringLiteral(LISTENERCHILD_PATH), arguments);
        if (!process.waitForStarted())
            return false;
        if (!QTest::qWaitFor([&] { return process.canReadLine(); }, 5000))
            return false;
        port = process.readLine().trimmed().toLongLong();
        return port > 0;
    }
    qint32 pid() const { return static_cast<qint32>(process.processId()); }
    ~Listener()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
};

std::optional<ListeningPort> findRecord(const PortList& ports, qint64 port, qint32 pid)
{
    for (const ListeningPort& record : ports)
        if (record.port() == port && record.pid() == pid)
            return record;
    return std::nullopt;
}

} // namespace

void TestPortScanner::killEndsRealListener()
{
    Listener child;
    QVERIFY(child.start({}));
    PortScanner scanner(PortScanner::platformSource(), m_desktop);
    std::optional<ListeningPort> record;
    QTRY_VERIFY_WITH_TIMEOUT(
        (record = findRecord(scanner.ports(), child.port, child.pid())).has_value(),
        PortScanner::refreshIntervalMs + 3000);
    QCOMPARE(record->processName(), QStringLiteral("listenerchild"));

    scanner.kill(*record);
    QTRY_COMPARE_WITH_TIMEOUT(child.process.state(), QProcess::NotRunning, 1000);
    QCOMPARE(child.process.exitStatus(), QProcess::CrashExit);
    QTRY_VERIFY_WITH_TIMEOUT(!findRecord(scanner.ports(), child.port, child.pid()), 1500);
}

void TestPortScanner::killForcesProcessIgnoringTerm()
{
    Listener child;
    QVERIFY(child.start({QStringLiteral("--ignore-term")}));
    PortScanner scanner(PortScanner::platformSource(), m_desktop);
    QSignalSpy published(&scanner, &PortScanner::lastScanChanged);
    std::optional<ListeningPort> record;
    QTRY_VERIFY_WITH_TIMEOUT(
        (record = findRecord(scanner.ports(), child.port, child.pid())).has_value(),
        PortScanner::refreshIntervalMs + 3000);

    // SIGTERM is ignored: after the rescan the process and its record are still there.
    const qsizetype before = published.size();
    scanner.kill(*record);
    QTRY_VERIFY_WITH_TIMEOUT(published.size() > before, beforeTimerMs);
    QCOMPARE(child.process.state(), QProcess::Running);
    QVERIFY(findRecord(scanner.ports(), child.port, child.pid()));

    scanner.kill(*record, SIGKILL);
    QTRY_COMPARE_WITH_TIMEOUT(child.process.state(), QProcess::NotRunning, 1000);
    QTRY_VERIFY_WITH_TIMEOUT(!findRecord(scanner.ports(), child.port, child.pid()), 1500);
}

void TestPortScanner::openInBrowser_data()
{
    QTest::addColumn<qint64>("port");
    QTest::addColumn<QStringList>("opened");

    QTest::addRow("3000") << qint64(3000) << QStringList{QStringLiteral("http://localhost:3000")};
    QTest::addRow("highest port") << qint64(65535)
                                  << QStringList{QStringLiteral("http://localhost:65535")};
    QTest::addRow("negative") << qint64(-1) << QStringList{};
    QTest::addRow("above 65535") << qint64(70000) << QStringList{};
    QTest::addRow("beyond 32 bits")
        << qint64(1) + std::numeric_limits<quint32>::max() << QStringList{};
}

void TestPortScanner::openInBrowser()
{
    QFETCH(qint64, port);
    QFETCH(QStringList, opened);

    PortScanner scanner(std::make_shared<FakePortSource>(), m_desktop,
                        std::make_shared<RecordingProcessControl>());
    scanner.openInBrowser(ListeningPort(port, 10, QStringLiteral("node")));
    QStringList urls;
    for (const QUrl& url : std::as_const(m_desktop.openedUrls))
        urls << url.toString();
    QCOMPARE(urls, opened);
}

QTEST_GUILESS_MAIN(TestPortScanner)
#include "tst_portscanner.moc"
