#include "listeningport.h"
#include "lsofparser.h"

#include <QSet>
#include <QTest>

#include <algorithm>
#include <unordered_set>

namespace {

// Rows are written as lines joined by '|'; records come back as "port pid name" joined by
// '|' as well.
QByteArray lines(const char* text)
{
    return QByteArray(text).replace('|', '\n');
}

QString describe(const QList<ListeningPort>& ports)
{
    QStringList out;
    for (const ListeningPort& port : ports)
        out << QStringLiteral("%1 %2 %3").arg(port.port()).arg(port.pid()).arg(port.processName());
    return out.join(QLatin1Char('|'));
}

const QString notUtf8 = QStringLiteral("not UTF-8");

} // namespace

// The record, and the lsof field-output parser that makes it.
class TestLsofParser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void record()
    {
        const ListeningPort a(3000, 10, QStringLiteral("node"));
        const ListeningPort copy(3000, 10, QStringLiteral("node"));
        const ListeningPort otherName(3000, 10, QStringLiteral("deno"));
        const ListeningPort otherPid(3000, 11, QStringLiteral("node"));
        QCOMPARE(a.id(), QStringLiteral("3000-10"));
        QCOMPARE(ListeningPort(std::numeric_limits<qint64>::min(), -1, {}).id(),
                 QStringLiteral("-9223372036854775808--1"));
        QVERIFY(ListeningPort(1023, 1, {}).isSystem() && ListeningPort(-1, 1, {}).isSystem());
        QVERIFY(!ListeningPort(1024, 1, {}).isSystem());

        QCOMPARE(a.id(), otherName.id());
        QVERIFY(a != otherName && a != otherPid && a.id() != otherPid.id());
        QCOMPARE(a, copy);
        QCOMPARE(qHash(a), qHash(copy));
        QCOMPARE(QSet<ListeningPort>({a, copy, otherName, otherPid}).size(), 3);
        QCOMPARE(std::unordered_set<ListeningPort>({a, copy, otherName, otherPid}).size(), 3u);
    }

    void parse_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QString>("records");

        QTest::addRow("IPv4 and IPv6 of one process collapse")
            << lines(
                   "p123|cnode|n0.0.0.0:3000|n[::1]:3000|p456|cpostgres|n[::1]:5432|n0.0.0.0:5432")
            << QStringLiteral("3000 123 node|5432 456 postgres");
        QTest::addRow("sorted by port, then pid")
            << lines("p900|csshd|n0.0.0.0:22|p100|cweb|n[::]:8080|p50|capi|n[::]:8080")
            << QStringLiteral("22 900 sshd|8080 50 api|8080 100 web");
        QTest::addRow("name and pid carry over")
            << lines("p10|cfirst|n[::]:1|p11|n[::]:2|csecond|n[::]:3")
            << QStringLiteral("1 10 first|2 11 first|3 11 second");
        QTest::addRow("n before any p or c") << lines("n[::]:80") << QStringLiteral("80 0 ");
        // The repeat on the next line and one seen further back take different paths.
        QTest::addRow("first of a repeated pair wins")
            << lines("p1|ca|n*:5|cz|n*:5|p2|cb|n*:5|p1|cc|n*:5|n*:6")
            << QStringLiteral("5 1 a|5 2 b|6 1 c");
        QTest::addRow("bad pids are 0")
            << lines("pabc|n*:1|p|n*:2|p2147483648|n*:3") << QStringLiteral("1 0 |2 0 |3 0 ");
        QTest::addRow("pids at the limits and with a plus")
            << lines("p2147483647|n*:1|p-2147483648|n*:2|p+42|n*:3")
            << QStringLiteral("1 2147483647 |2 -2147483648 |3 42 ");
        QTest::addRow("no record from bad names")
            << lines("p1|n0.0.0.0:|nlocalhost|n0.0.0.0:ssh|n0.0.0.0:22 |n0.0.0.0: "
                     "22|n*:2x|n::1:0x10|n|"
                     "n*:99999999999999999999|n*:9223372036854775808|n*:+|n*:-|n*:+-5|n*:--5")
            << QString();
        QTest::addRow("last colon, signs, 64-bit limits")
            << lines("p1|n[fe80::1%eth0]:631|n*:+80|n*:-1|n*:9223372036854775807|"
                     "n*:-9223372036854775808")
            << QStringLiteral("-9223372036854775808 1 |-1 1 |80 1 |631 1 |9223372036854775807 1 ");
        QTest::addRow("other letters change nothing; bare c empties the name")
            << lines("p1|cname|f12|tIPv4|P99|C other|N*:7|é|n*:8|c|n*:9")
            << QStringLiteral("8 1 name|9 1 ");
        QTest::addRow("names are kept as written")
            << lines("p1|c a:b \\t café|n*:8") << QStringLiteral("8 1  a:b \\t café");
        QTest::addRow("carriage return stays in the value")
            << QByteArray("p1\ncname\r\nn*:8\r\nn*:9\n") << QStringLiteral("9 1 name\r");
        QTest::addRow("empty") << QByteArray() << QString();
        QTest::addRow("stray line feeds")
            << QByteArray("\n\np1\n\n\ncx\nn*:1") << QStringLiteral("1 1 x");
        QTest::addRow("stray byte") << QByteArray("p1\ncab\xff\nn*:1\n") << notUtf8;
        QTest::addRow("truncated at the end") << QByteArray("p1\ncx\nn*:1\n\xc3") << notUtf8;
    }
    void parse()
    {
        QFETCH(QByteArray, output);
        QFETCH(QString, records);
        const auto ports = LsofParser::parse(QByteArrayView(output));
        QCOMPARE(ports.has_value(), records != notUtf8);
        if (ports) {
            QCOMPARE(describe(*ports), records);
            QCOMPARE(describe(LsofParser::parse(QString::fromUtf8(output))), records);
        }
    }

    // Enough pairs, most repeated out of order, to grow the seen set many times over.
    void manyRepeatedPairs()
    {
        QByteArray output;
        for (int round = 0; round < 3; ++round) {
            for (int pid = 4000; pid > 0; --pid) {
                output += "p" + QByteArray::number(pid) + "\ncp" + QByteArray::number(round) +
                          "\nn*:" + QByteArray::number(pid % 7) +
                          "\nn*:" + QByteArray::number(1000 + pid % 3) + "\n";
            }
        }
        const auto ports = LsofParser::parse(QByteArrayView(output));
        QVERIFY(ports.has_value());
        QCOMPARE(ports->size(), 8000);
        // Sorted with no pair twice, and the first round's names won.
        const auto key = [](const ListeningPort& p) { return std::pair(p.port(), p.pid()); };
        QVERIFY(
            std::adjacent_find(ports->cbegin(), ports->cend(), [&](const auto& a, const auto& b) {
                return key(a) >= key(b);
            }) == ports->cend());
        QVERIFY(std::all_of(ports->cbegin(), ports->cend(), [](const ListeningPort& p) {
            return p.processName() == QStringLiteral("p0");
        }));
    }
};

QTEST_GUILESS_MAIN(TestLsofParser)
#include "tst_lsofparser.moc"
