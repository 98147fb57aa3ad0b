#include "metricstext.h"
#include "portevents.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {
ListeningPort record(qint64 port, qint32 pid, const QString& name, const QStringList& addresses,
                     const QString& user = {}, qint32 connections = -1,
                     ListeningPort::Protocol protocol = ListeningPort::Protocol::Tcp)
{
    return ListeningPort(port, pid, name, user, addresses, 0, {}, {}, protocol, connections);
}
// What --json writes after the owner facts of a TCP record with uncounted connections.
#define TCP_TAIL R"(, "protocol": "tcp", "connections": null, "started": null})"
} // namespace

// The watch's events and the metrics text, apart from any scan.
class TestCliText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Events as JSON Lines and terminal lines: the changes between two lists.
    void events_data()
    {
        QTest::addColumn<QList<ListeningPort>>("before");
        QTest::addColumn<QList<ListeningPort>>("after");
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QByteArray>("lines");
        const ListeningPort web = record(5173, 4242, u"node"_s, {u"127.0.0.1"_s});
        const ListeningPort ssh = record(22, 9, u"sshd"_s, {u"0.0.0.0"_s, u"::"_s});
        const char* webFields = R"("port": 5173, "pid": 4242, "processName": "node", "user": "", )"
                                R"("addresses": ["127.0.0.1"], "program": null, "unit": null, )"
                                R"("container": null)" TCP_TAIL;
        // Connection counts change all the time; they make no event.
        QTest::addRow("unchanged") << QList{web, record(22, 9, u"sshd"_s, {u"::"_s}, {}, 3)}
                                   << QList{web, record(22, 9, u"sshd"_s, {u"::"_s}, {}, 5)}
                                   << QByteArray() << QByteArray();
        QTest::addRow("opened") << QList{ssh} << QList{ssh, web}
                                << QByteArray(R"({"event": "listening", "time": )"
                                              R"("2026-01-02T03:10:04.000Z", )") + webFields + '\n'
                                << QByteArray("03:10:04  + 5173/tcp  node (pid 4242)  loopback\n");
        QTest::addRow("closed, no process")
            << QList{record(80, 0, {}, {}, u"www \u202e"_s)} << QList<ListeningPort>()
            << QByteArray(R"({"event": "closed", "time": "2026-01-02T03:10:04.000Z", "port": 80, )"
                          R"("pid": null, "processName": null, "user": "www )"
                          "\u202e" R"(", "addresses": [], "program": null, "unit": null, )"
                          R"("container": null)" TCP_TAIL "\n")
            << QByteArray("03:10:04  - 80/tcp  - (user www \\u202e)  -\n");
        // An address more: the old record goes and the new one comes.
        QTest::addRow("changed")
            << QList{web} << QList{record(5173, 4242, u"node"_s, {u"10.0.0.2"_s, u"127.0.0.1"_s})}
            << QByteArray(R"({"event": "closed", "time": "2026-01-02T03:10:04.000Z", )") +
                   webFields + "\n" R"({"event": "listening", "time": "2026-01-02T03:10:04.000Z", )"
                   R"("port": 5173, "pid": 4242, "processName": "node", "user": "", "addresses": )"
                   R"(["10.0.0.2", "127.0.0.1"], "program": null, "unit": null, "container": null)"
                   TCP_TAIL "\n"
            << QByteArray("03:10:04  - 5173/tcp  node (pid 4242)  loopback\n"
                          "03:10:04  + 5173/tcp  node (pid 4242)  10.0.0.2,127.0.0.1\n");
    }

    void events()
    {
        QFETCH(QList<ListeningPort>, before);
        QFETCH(QList<ListeningPort>, after);
        QFETCH(QByteArray, json);
        QFETCH(QByteArray, lines);
        const QDateTime time(QDate(2026, 1, 2), QTime(3, 10, 4), Qt::UTC);
        QByteArray jsonOut, linesOut;
        for (const PortEvent& event : portEvents(before, after)) {
            jsonOut += formatEventJson(event, time);
            // The terminal shows local time: the same wall-clock time in any zone.
            linesOut += formatEventLine(event, QDateTime(time.date(), time.time()));
        }
        QCOMPARE(jsonOut, json);
        QCOMPARE(linesOut, lines);
    }

    // Every family with its HELP and TYPE; label values escaped; records that differ by pid
    // alone one series, so the collector never meets the same labels twice.
    void metrics()
    {
        const QList<ListeningPort> ports{
            record(80, 7, u"a\"b\\c\nd"_s, {u"::1"_s}, u"root"_s),
            record(8080, 11, u"web"_s, {u"*"_s}), record(8080, 12, u"web"_s, {u"*"_s}),
            record(9000, 0, {}, {}, u"nobody"_s),
            record(9001, 5, u"db"_s, {u"10.0.0.2"_s}, {}, 4),
            record(9001, 5, u"db"_s, {u"10.0.0.2"_s}, {}, -1, ListeningPort::Protocol::Udp)};
        QCOMPARE(formatMetrics(ports, {"tcp", "udp"}, 0.25),
                 QByteArray(
                     "# HELP tidewatch_listening A port that listens, by owner: the number of its "
                     "records (1 unless processes that differ only by pid share it).\n"
                     "# TYPE tidewatch_listening gauge\n"
                     "tidewatch_listening{port=\"80\",protocol=\"tcp\",program=\"a\\\"b\\\\c\\nd\","
                     "user=\"root\",unit=\"\",container=\"\",exposure=\"loopback\"} 1\n"
                     R"(tidewatch_listening{port="8080",protocol="tcp",program="web",user="",)"
                     R"(unit="",container="",exposure="all"} 2)" "\n"
                     R"(tidewatch_listening{port="9000",protocol="tcp",program="",user="nobody",)"
                     R"(unit="",container="",exposure=""} 1)" "\n"
                     R"(tidewatch_listening{port="9001",protocol="tcp",program="db",user="",)"
                     R"(unit="",container="",exposure="address"} 1)" "\n"
                     R"(tidewatch_listening{port="9001",protocol="udp",program="db",user="",)"
                     R"(unit="",container="",exposure="address"} 1)" "\n"
                     "# HELP tidewatch_listening_ports Listening ports (records), by protocol.\n"
                     "# TYPE tidewatch_listening_ports gauge\n"
                     "tidewatch_listening_ports{protocol=\"tcp\"} 5\n"
                     "tidewatch_listening_ports{protocol=\"udp\"} 1\n"
                     "# HELP tidewatch_connections Established connections to a listening port, "
                     "where counted.\n"
                     "# TYPE tidewatch_connections gauge\n"
                     "tidewatch_connections{port=\"9001\",protocol=\"tcp\"} 4\n"
                     "# HELP tidewatch_scan_duration_seconds How long the scan took.\n"
                     "# TYPE tidewatch_scan_duration_seconds gauge\n"
                     "tidewatch_scan_duration_seconds 0.250000\n"));
    }
};

QTEST_GUILESS_MAIN(TestCliText)
#include "tst_clitext.moc"
