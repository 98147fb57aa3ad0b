#include "remoteanswer.h"

#include <QTest>

// The parsers of the remote list command's three answers: well-formed ones become records,
// and anything malformed a reason, never part of a list.
class TestRemoteAnswer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Lines are joined by '|' in the answers; records are "proto port pid name user addresses".
    void parse_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("expected"); // the records, or the reason
        const auto row = [](const char* name, const char* answer, const char* source,
                            const char* expected) {
            QTest::addRow("%s", name) << QByteArray(answer).replace('|', '\n')
                                      << QString::fromLatin1(source) << QString::fromUtf8(expected);
        };
        const char* json = "tidewatch-remote tidewatch-ports|[{\"port\": 22, \"pid\": 9, "
                           "\"processName\": \"sshd\", \"user\": \"root\", \"addresses\": "
                           "[\"::\", \"0.0.0.0\"], \"program\": null, \"unit\": \"ssh.service\", "
                           "\"container\": null, \"protocol\": \"tcp\", \"connections\": 2, "
                           "\"started\": \"2026-01-01T00:00:00Z\"}, {\"port\": 53, \"pid\": null, "
                           "\"processName\": null, \"user\": \"101\", \"addresses\": [], "
                           "\"protocol\": \"udp\"}]";
        row("tidewatch-ports", json, "tidewatch-ports",
            "tcp 22 9 sshd root 0.0.0.0,:: ssh.service c2|udp 53 0  101 ");
        row("ss: owners, several per socket, none, scopes",
            "tidewatch-remote ss|tcp LISTEN 0 4096 127.0.0.53%lo:53 0.0.0.0:* "
            "users:((\"systemd-resolve\",pid=7,fd=14))|tcp LISTEN 0 511 [::]:80 [::]:* "
            "users:((\"nginx\",pid=21,fd=6),(\"nginx\",pid=20,fd=6))|"
            "udp   UNCONN 0  0  [fe80::1]%eth0:546  [::]:*|tcp LISTEN 0 5 *:80 *:*||",
            "ss", "tcp 53 7 systemd-resolve  127.0.0.53|tcp 80 20 nginx  ::|"
                  "tcp 80 21 nginx  ::|tcp 80 0   *|udp 546 0   fe80::1%eth0");
        row("ss: hostile and raw names made printable as local ones",
            "tidewatch-remote ss|tcp LISTEN 0 5 0.0.0.0:1 0.0.0.0:* users:((\"a\",pid=1,fd=3),"
            "(\"\x1b[2J x\",pid=2,fd=3))|tcp LISTEN 0 5 0.0.0.0:2 0.0.0.0:* "
            "users:((\"q\"),(\xe2\x80\xae\xc3\xa9\",pid=3,fd=3),(\"\xff\\z\",pid=4,fd=3))",
            "ss", "tcp 1 1 a  0.0.0.0|tcp 1 2 ^[[2J x  0.0.0.0|"
                  "tcp 2 3 q\"),(\u202eé  0.0.0.0|tcp 2 4 \\xff\\\\z  0.0.0.0");
        row("ss: nothing listens", "tidewatch-remote ss|", "ss", "");
        row("proc, little-endian: listeners only, users as uids",
            "tidewatch-remote proc 1|table tcp|  sl  local_address rem_address   st tx rx tr "
            "tm uid|   0: 0100007F:1F90 00000000:0000 0A 00000000:00000000 00:00000000 "
            "00000000  1000 0 4242 1|   1: 0100007F:C350 0100007F:1F90 01 0:0 0:0 0 1000 0 "
            "4243|table udp6|   sl  local_address|  7: 00000000000000000000000001000000:0035 "
            "00000000000000000000000000000000:0000 07 0:0 0:0 0 0 0 99 2",
            "proc", "udp 53 0  0 ::1|tcp 8080 0  1000 127.0.0.1");
        row("proc, big-endian; od missing means little-endian",
            "tidewatch-remote proc 16777216|table tcp|sl|0: 7F000001:0016 0:0 0A 0 0 0 0 0 1",
            "proc", "tcp 22 0  0 127.0.0.1");
        row("proc without od", "tidewatch-remote proc|table tcp|sl|0: 0100007F:0016 0:0 0A 0 0 0 0 0 1",
            "proc", "tcp 22 0  0 127.0.0.1");
        // Malformed answers: the reason, never a partial list.
        row("no way named", "ss output|tcp LISTEN 0 5 *:1 *:*", "", "unexpected answer at line 1");
        row("an unknown way", "tidewatch-remote netstat|", "", "unexpected answer at line 1");
        row("binary", "tidewatch-remote tidewatch-ports|[\"\xff\"]", "", "unexpected answer: not text");
        row("ss: binary outside the names", "tidewatch-remote ss|tcp LISTEN 0 5 *:1\xff *:*", "ss",
            "unexpected answer at line 2");
        row("ss: an interface name with an escape",
            "tidewatch-remote ss|udp UNCONN 0 0 [fe80::1]%\x1b:546 [::]:*", "ss", "unexpected answer at line 2");
        row("json: not an array", "tidewatch-remote tidewatch-ports|{\"port\": 1}",
            "tidewatch-ports", "unexpected answer: not a JSON array");
        row("json: truncated", "tidewatch-remote tidewatch-ports|[{\"port\": 1, \"pid\"",
            "tidewatch-ports", "unexpected answer: not a JSON array");
        row("json: a port past 65535",
            "tidewatch-remote tidewatch-ports|[{\"port\": 65536, \"pid\": null, "
            "\"processName\": null, \"user\": \"\", \"addresses\": [], \"protocol\": \"tcp\"}]",
            "tidewatch-ports", "unexpected answer: record 1");
        row("json: a pid without a name",
            "tidewatch-remote tidewatch-ports|[{\"port\": 1, \"pid\": 5, \"processName\": null, "
            "\"user\": \"\", \"addresses\": [], \"protocol\": \"tcp\"}]",
            "tidewatch-ports", "unexpected answer: record 1");
        row("json: an address that is no text",
            "tidewatch-remote tidewatch-ports|[{\"port\": 1, \"pid\": null, \"processName\": "
            "null, \"user\": \"\", \"addresses\": [1], \"protocol\": \"tcp\"}]",
            "tidewatch-ports", "unexpected answer: record 1");
        row("ss: a truncated line after a good one",
            "tidewatch-remote ss|tcp LISTEN 0 5 *:1 *:*|tcp LISTEN 0 5 *:2", "ss",
            "unexpected answer at line 3");
        row("ss: a connection", "tidewatch-remote ss|tcp ESTAB 0 0 10.0.0.1:22 10.0.0.2:5000",
            "ss", "unexpected answer at line 2");
        row("ss: port past 65535", "tidewatch-remote ss|udp UNCONN 0 0 *:65536 *:*", "ss",
            "unexpected answer at line 2");
        row("ss: an address with a space's stand-in",
            "tidewatch-remote ss|tcp LISTEN 0 5 1.2.3.4;x:1 *:*", "ss",
            "unexpected answer at line 2");
        row("ss: owner without fd",
            "tidewatch-remote ss|tcp LISTEN 0 5 *:1 *:* users:((\"a\",pid=1))", "ss",
            "unexpected answer at line 2");
        row("ss: owner with pid 0",
            "tidewatch-remote ss|tcp LISTEN 0 5 *:1 *:* users:((\"a\",pid=0,fd=1))", "ss",
            "unexpected answer at line 2");
        row("ss: trailing text after the owners",
            "tidewatch-remote ss|tcp LISTEN 0 5 *:1 *:* users:((\"a\",pid=1,fd=1)) x", "ss",
            "unexpected answer at line 2");
        row("ss: owners not closed", "tidewatch-remote ss|tcp LISTEN 0 5 *:1 *:* users:((\"a\",pid=1,fd=1)x",
            "ss", "unexpected answer at line 2");
        row("proc: a row before any table",
            "tidewatch-remote proc 1|0: 0100007F:0016 0:0 0A 0 0 0 0 0 1", "proc",
            "unexpected answer at line 2");
        row("proc: an IPv6 address in the IPv4 table",
            "tidewatch-remote proc 1|table tcp|sl|0: 00000000000000000000000001000000:0016 0:0 0A "
            "0 0 0 0 0 1",
            "proc", "unexpected answer at line 4");
        row("proc: a truncated row", "tidewatch-remote proc 1|table udp|sl|0: 0100007F:0016 0:0 07 0",
            "proc", "unexpected answer at line 4");
        row("proc: bad hex", "tidewatch-remote proc 1|table tcp|sl|0: 0100007G:0016 0:0 0A 0 0 0 0 0 1",
            "proc", "unexpected answer at line 4");
        row("proc: an unknown table", "tidewatch-remote proc 1|table raw|sl", "proc",
            "unexpected answer at line 2");
        row("proc: no header", "tidewatch-remote proc 1|table tcp|0: 0100007F:0016 0:0 0A 0 0 0 0 0 1",
            "proc", "unexpected answer at line 3");
    }
    void parse()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QString, source);
        QFETCH(QString, expected);
        const RemoteListing listing = RemoteAnswer::parse(answer);
        QStringList records;
        for (const ListeningPort& port : listing.ports) {
            const auto connections = port.connections();
            records.append(QStringList{QString::fromLatin1(port.isUdp() ? "udp" : "tcp"),
                                       QString::number(port.port()), QString::number(port.pid()),
                                       port.processName(), port.user(), port.addresses().join(u',')}
                               .join(u' ') +
                           (port.unit().isEmpty() ? QString() : u' ' + port.unit()) +
                           (connections ? u" c" + QString::number(*connections) : QString()));
        }
        QCOMPARE(RemoteListing::sourceName(listing.source), source);
        QCOMPARE(listing.ok() ? records.join(u'|') : listing.reason, expected);
        QVERIFY(listing.ok() || listing.ports.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRemoteAnswer)
#include "tst_remoteanswer.moc"
