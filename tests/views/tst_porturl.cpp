#include "porturl.h"

#include <QTest>

class TestPortUrl : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void browserUrl_data()
    {
        QTest::addColumn<QString>("address"); // the one listened on; empty: not known
        QTest::addColumn<qint64>("port");
        QTest::addColumn<QString>("url"); // empty: nothing to open
        QTest::addRow("address not known") << "" << qint64(3000) << "http://localhost:3000";
        QTest::addRow("negative") << "" << qint64(-1) << "";
        QTest::addRow("above 65535") << "" << qint64(65536) << "";
        // Cut to 32 bits it would be port 80.
        QTest::addRow("beyond 32 bits") << "" << (qint64(1) << 32) + 80 << "";
        QTest::addRow("LAN address") << "192.168.1.5" << qint64(80) << "http://192.168.1.5:80";
        QTest::addRow("zoned IPv6") << "fe80::1%eth0" << qint64(80) << "http://[fe80::1%25eth0]:80";
        QTest::addRow("no host") << "a b" << qint64(80) << "";
        QTest::addRow("wildcard") << "0.0.0.0" << qint64(80) << "http://localhost:80";
        QTest::addRow("loopback") << "127.0.0.1" << qint64(80) << "http://localhost:80";
    }

    void browserUrl()
    {
        QFETCH(QString, address);
        QFETCH(qint64, port);
        const QStringList addresses = address.isEmpty() ? QStringList() : QStringList{address};
        const QUrl url = ::browserUrl(ListeningPort(port, 7, QStringLiteral("x"), {}, addresses));
        QTEST(url.isValid() ? url.toString() : QString(), "url");
    }
};

QTEST_APPLESS_MAIN(TestPortUrl)
#include "tst_porturl.moc"
