#include "listeningport.h"

#include <QSet>
#include <QTest>

#include <unordered_set>

class TestListeningPort : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void id_data()
    {
        QTest::addColumn<qint64>("port");
        QTest::addColumn<qint32>("pid");
        QTest::addColumn<QString>("id");
        QTest::addRow("plain") << qint64(8080) << qint32(4321) << QStringLiteral("8080-4321");
        QTest::addRow("pid zero") << qint64(80) << qint32(0) << QStringLiteral("80-0");
        QTest::addRow("negatives keep their sign") << qint64(-1) << qint32(-7) << QStringLiteral("-1--7");
        QTest::addRow("64-bit limits") << std::numeric_limits<qint64>::max()
                                       << std::numeric_limits<qint32>::min()
                                       << QStringLiteral("9223372036854775807--2147483648");
    }
    void id()
    {
        QFETCH(qint64, port);
        QFETCH(qint32, pid);
        QFETCH(QString, id);
        QCOMPARE(ListeningPort(port, pid, QStringLiteral("x")).id(), id);
    }

    void isSystem_data()
    {
        QTest::addColumn<qint64>("port");
        QTest::addColumn<bool>("system");
        QTest::addRow("0") << qint64(0) << true;
        QTest::addRow("1023") << qint64(1023) << true;
        QTest::addRow("1024") << qint64(1024) << false;
        QTest::addRow("negative") << qint64(-1) << true;
        QTest::addRow("65535") << qint64(65535) << false;
    }
    void isSystem()
    {
        QFETCH(qint64, port);
        QFETCH(bool, system);
        QCOMPARE(ListeningPort(port, 1, {}).isSystem(), system);
    }

    void equalityAndHash()
    {
        const ListeningPort a(3000, 10, QStringLiteral("node"));
        const ListeningPort sameIdOtherName(3000, 10, QStringLiteral("deno"));
        const ListeningPort otherPid(3000, 11, QStringLiteral("node"));
        QCOMPARE(a.id(), sameIdOtherName.id());
        QVERIFY(a != sameIdOtherName);
        QVERIFY(a.id() != otherPid.id());
        QVERIFY(a != otherPid);
        const ListeningPort copy(3000, 10, QStringLiteral("node"));
        QCOMPARE(a, copy);
        QCOMPARE(qHash(a), qHash(copy));
        QCOMPARE(std::hash<ListeningPort>{}(a), std::hash<ListeningPort>{}(copy));

        const QSet<ListeningPort> qset{a, copy, sameIdOtherName, otherPid};
        QCOMPARE(qset.size(), 3);
        const std::unordered_set<ListeningPort> stdset{a, copy, sameIdOtherName, otherPid};
        QCOMPARE(stdset.size(), size_t(3));
    }
};

QTEST_GUILESS_MAIN(TestListeningPort)
#include "tst_listeningport.moc"
