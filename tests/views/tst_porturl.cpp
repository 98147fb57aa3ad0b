#include "porturl.h"

#include <QTest>

class TestPortUrl : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every shape of address the kernel reports, and where a browser goes for it.
    void browserUrl_data()
    {
        QTest::addColumn<QString>("address"); // the one listened on; empty: not known
        QTest::addColumn<qint64>("port");
        QTest::addColumn<QString>("url"); // empty: nothing to open
        QTest::addColumn<ListeningPort::Exposure>("exposure");
        using enum ListeningPort::Exposure;
        const auto row = [](const char* name, const char* address, qint64 port, const char* url,
                            ListeningPort::Exposure exposure) {
            QTest::addRow("%s", name) << address << port << url << exposure;
        };
        row("address not known", "", 3000, "http://localhost:3000", Unknown);
        row("negative", "", -1, "", Unknown);
        row("above 65535", "", 65536, "", Unknown);
        // Cut to 32 bits it would be port 80.
        row("beyond 32 bits", "", (qint64(1) << 32) + 80, "", Unknown);
        row("no host", "a b", 80, "", Specific);
        row("IPv4 any", "0.0.0.0", 80, "http://localhost:80", AllInterfaces);
        row("IPv4 loopback", "127.1.2.3", 80, "http://localhost:80", Loopback);
        row("IPv4 LAN", "192.168.1.5", 80, "http://192.168.1.5:80", Specific);
        row("IPv6 any", "::", 80, "http://localhost:80", AllInterfaces);
        row("IPv6 loopback", "::1", 80, "http://localhost:80", Loopback);
        row("IPv6 link-local, zoned", "fe80::1%eth0", 80, "http://[fe80::1%25eth0]:80", Specific);
        row("IPv6 global", "2001:db8::1", 80, "http://[2001:db8::1]:80", Specific);
        row("IPv4-mapped any", "::ffff:0.0.0.0", 80, "http://localhost:80", AllInterfaces);
        row("IPv4-mapped loopback", "::FFFF:127.0.0.1", 80, "http://localhost:80", Loopback);
        row("IPv4-mapped LAN", "::ffff:10.0.0.7", 80, "http://10.0.0.7:80", Specific);
        row("lsof's any", "*", 80, "http://localhost:80", AllInterfaces);
    }
    void browserUrl()
    {
        QFETCH(QString, address);
        QFETCH(qint64, port);
        const QStringList addresses = address.isEmpty() ? QStringList() : QStringList{address};
        const ListeningPort record(port, 7, QStringLiteral("x"), {}, addresses);
        const QUrl url = ::browserUrl(record);
        QTEST(url.isValid() ? url.toString() : QString(), "url");
        QTEST(record.exposure(), "exposure");
    }
};

QTEST_APPLESS_MAIN(TestPortUrl)
#include "tst_porturl.moc"
