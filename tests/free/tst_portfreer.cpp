#include "portfreer.h"
#include "recordingprocesscontrol.h"

#include <QTest>

namespace {

class NoTable final : public ProcessTable
{
public:
    std::optional<LineageProcess> read(qint32) const override { return std::nullopt; }
};

} // namespace

// Whom freeing signals, against a scan that never changes (owners that never end): never a
// pid that changed hands, nothing on a port with another user's owner, SIGKILL only with
// --force and after the wait.
class TestPortFreer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void signals_data()
    {
        QTest::addColumn<quint32>("ownUid");
        QTest::addColumn<quint32>("owner");        // of pid 42
        QTest::addColumn<quint64>("startTimeNow"); // of pid 42, as opened
        QTest::addColumn<bool>("force");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("status");
        const QString still = QStringLiteral("8080: still listening: pid 43 (srv) ");
        QTest::newRow("asked") << 1001u << 1001u << quint64(10) << false
                               << QStringLiteral("43:15 42:15")
                               << still + u"ignored the request; --force ends it" << 4;
        QTest::newRow("forced") << 1001u << 1001u << quint64(10) << true
                                << QStringLiteral("43:15 42:15 43:9 42:9")
                                << still + u"did not end, even when killed" << 4;
        QTest::newRow("pid changed hands")
            << 1001u << 1001u << quint64(11) << true << QStringLiteral("43:15")
            << QStringLiteral("8080: listening again: pid 42 (srv)") << 4;
        QTest::newRow("root's, not root: not even ours on the port")
            << 1001u << 0u << quint64(10) << false << QString()
            << QStringLiteral("8080: not ended: pid 42 (srv) belongs to root, not to this user; "
                              "nothing was ended")
            << 1;
        QTest::newRow("as root") << 0u << 0u << quint64(10) << false
                                 << QStringLiteral("43:15 42:15")
                                 << still + u"ignored the request; --force ends it" << 4;
    }
    void signals()
    {
        QFETCH(quint32, ownUid);
        QFETCH(quint32, owner);
        QFETCH(quint64, startTimeNow);
        QFETCH(bool, force);
        // The user's own process 43, and 42 over TCP and UDP, on the port.
        const auto record = [](qint32 pid, const char* user, ListeningPort::Protocol protocol) {
            return ListeningPort(8080, pid, QStringLiteral("srv"), QString::fromLatin1(user), {},
                                 quint64(pid - 32), {}, {}, protocol);
        };
        const char* const user42 = owner == 0 ? "root" : "me";
        const QList<ListeningPort> ports = {record(43, "me", ListeningPort::Protocol::Tcp),
                                            record(42, user42, ListeningPort::Protocol::Tcp),
                                            record(42, user42, ListeningPort::Protocol::Udp)};
        auto processes = std::make_shared<RecordingProcessControl>();
        processes->uid = ownUid;
        processes->setProcess(42, QStringLiteral("srv"), startTimeNow, owner);
        processes->setProcess(43, QStringLiteral("srv"), 11, 1001);
        PortFreer freer(
            [&] {
                return QueryResult{ports, {}, {}};
            },
            processes, std::make_shared<NoTable>());
        freer.setTiming(std::chrono::milliseconds(5), std::chrono::milliseconds(10));
        FreeRequest request;
        request.ports = {8080};
        request.wait = std::chrono::milliseconds(30);
        request.force = force;
        const FreeReport report = freer.free(request);
        QStringList sent;
        for (const auto& [pid, signal] : processes->sentSignals)
            sent.append(QStringLiteral("%1:%2").arg(pid).arg(signal));
        QTEST(sent.join(u' '), "sent");
        QCOMPARE(report.results.size(), 1);
        QTEST(freeResultLine(report.results.first()), "line");
        QTEST(report.exitStatus(), "status");
    }
};

QTEST_GUILESS_MAIN(TestPortFreer)
#include "tst_portfreer.moc"
