#include "lsofparser.h"

#include <QTest>

#include <algorithm>

namespace {

// Rows are written as lines joined by '|'; records come back as "port pid name" joined by
// '|' as well, which keeps the expectations readable.
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

} // namespace

class TestLsofParser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QString>("records");

        // The state machine
        QTest::addRow("IPv4 and IPv6 of one process collapse")
            << lines(
                   "p123|cnode|n0.0.0.0:3000|n[::1]:3000|p456|cpostgres|n[::1]:5432|n0.0.0.0:5432")
            << QStringLiteral("3000 123 node|5432 456 postgres");
        QTest::addRow("sorted by port, then pid")
            << lines("p900|csshd|n0.0.0.0:22|p100|cweb|n[::]:8080|p50|capi|n[::]:8080")
            << QStringLiteral("22 900 sshd|8080 50 api|8080 100 web");
        QTest::addRow("a name carries over to the next process")
            << lines("p10|cfirst|n[::]:1|p11|n[::]:2") << QStringLiteral("1 10 first|2 11 first");
        QTest::addRow("a pid carries over a new name")
            << lines("p10|cfirst|n[::]:1|csecond|n[::]:2")
            << QStringLiteral("1 10 first|2 10 second");
        QTest::addRow("n before any p or c") << lines("n[::]:80") << QStringLiteral("80 0 ");
        QTest::addRow("first of a repeated pair wins")
            << lines("p7|ca|n*:9|cb|n*:9") << QStringLiteral("9 7 a");
        QTest::addRow("a pair seen earlier, not just last, is dropped")
            << lines("p1|ca|n*:5|p2|cb|n*:5|p1|cc|n*:5|n*:6")
            << QStringLiteral("5 1 a|5 2 b|6 1 c");
        QTest::addRow("equal ports keep pid order whatever the input order")
            << lines("p3|cc|n*:5|p1|ca|n*:5|p2|cb|n*:5") << QStringLiteral("5 1 a|5 2 b|5 3 c");

        // Process ids
        QTest::addRow("pid not a number") << lines("pabc|n[::]:9000") << QStringLiteral("9000 0 ");
        QTest::addRow("pid empty") << lines("p5|p|n*:1") << QStringLiteral("1 0 ");
        QTest::addRow("pid above 32 bits") << lines("p2147483648|n*:1") << QStringLiteral("1 0 ");
        QTest::addRow("pid at 32-bit limits") << lines("p2147483647|n*:1|p-2147483648|n*:2")
                                              << QStringLiteral("1 2147483647 |2 -2147483648 ");
        QTest::addRow("pid with a plus sign") << lines("p+42|n*:1") << QStringLiteral("1 42 ");

        // Socket names
        QTest::addRow("no record from bad names")
            << lines("p1|n0.0.0.0:|nlocalhost|n0.0.0.0:ssh|n0.0.0.0:22 |n0.0.0.0: 22|n0.0.0.0:2x|n")
            << QString();
        QTest::addRow("only the last colon counts")
            << lines("p1|n[fe80::1%eth0]:631|n::1:0x10") << QStringLiteral("631 1 ");
        QTest::addRow("plus and minus ports")
            << lines("p1|n*:+80|n*:-1") << QStringLiteral("-1 1 |80 1 ");
        QTest::addRow("port of twenty nines") << lines("p1|n*:99999999999999999999") << QString();
        QTest::addRow("port at 64-bit limits")
            << lines("p1|n*:9223372036854775807|n*:-9223372036854775808|n*:9223372036854775808")
            << QStringLiteral("-9223372036854775808 1 |9223372036854775807 1 ");
        QTest::addRow("sign alone or doubled") << lines("p1|n*:+|n*:-|n*:+-5|n*:--5") << QString();

        // Other lines
        QTest::addRow("other letters change nothing")
            << lines("p1|cname|f12|tIPv4|P99|C other|N*:7|n*:8") << QStringLiteral("8 1 name");
        QTest::addRow("bare c empties the name")
            << lines("p1|cname|c|n*:8") << QStringLiteral("8 1 ");
        QTest::addRow("names keep spaces, colons and escapes")
            << lines("p1|c a:b \\t|n*:8") << QStringLiteral("8 1  a:b \\t");
        QTest::addRow("non-ASCII name") << lines("p1|ccafé|n*:8") << QStringLiteral("8 1 café");
        QTest::addRow("non-ASCII field letter is ignored")
            << lines("p1|é|n*:8") << QStringLiteral("8 1 ");
        QTest::addRow("carriage return stays in the value")
            << QByteArray("p1\ncname\r\nn*:8\r\nn*:9\n") << QStringLiteral("9 1 name\r");

        // Empty output
        QTest::addRow("empty") << QByteArray() << QString();
        QTest::addRow("only line feeds") << QByteArray("\n\n\n") << QString();
        QTest::addRow("leading, repeated and no trailing line feeds")
            << QByteArray("\n\np1\n\n\ncx\nn*:1") << QStringLiteral("1 1 x");
    }
    void parse()
    {
        QFETCH(QByteArray, output);
        QFETCH(QString, records);
        const auto ports = LsofParser::parse(QByteArrayView(output));
        QVERIFY(ports.has_value());
        QCOMPARE(describe(*ports), records);
        // The text form reads the same.
        QCOMPARE(describe(LsofParser::parse(QString::fromUtf8(output))), records);
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
        for (qsizetype i = 1; i < ports->size(); ++i) {
            const ListeningPort& a = ports->at(i - 1);
            const ListeningPort& b = ports->at(i);
            QVERIFY(a.port() < b.port() || (a.port() == b.port() && a.pid() < b.pid()));
        }
        // The first round's names won.
        QVERIFY(std::all_of(ports->cbegin(), ports->cend(), [](const ListeningPort& port) {
            return port.processName() == QStringLiteral("p0");
        }));
    }

    void invalidUtf8_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::addRow("stray byte in a name") << QByteArray("p1\ncab\xff\nn*:1\n");
        QTest::addRow("truncated sequence at the end") << QByteArray("p1\ncx\nn*:1\n\xc3");
        QTest::addRow("encoded surrogate") << QByteArray("p1\nc\xed\xa0\x80\nn*:1\n");
        QTest::addRow("overlong slash") << QByteArray("p1\nc\xc0\xaf\nn*:1\n");
    }
    void invalidUtf8()
    {
        QFETCH(QByteArray, output);
        QVERIFY(!LsofParser::parse(QByteArrayView(output)).has_value());
    }
};

QTEST_GUILESS_MAIN(TestLsofParser)
#include "tst_lsofparser.moc"
