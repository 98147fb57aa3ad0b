#include "fakeportsource.h"
#include "lsofparser.h"
#include "lsofsource.h"
#include "standinlister.h"

#include <QElapsedTimer>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <thread>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

// lsof's field-output parser, then the reader over stand-in listers.
class TestLsof : public QObject
{
    Q_OBJECT

    StandInListers m_listers;
    QString lister(const QByteArray& body) { return m_listers.forRow(body); }

private Q_SLOTS:
    // Lines are joined by '|'.
    void parse_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QString>("records"); // null: not UTF-8
        const auto row = [](const char* name, const char* lines, const char* records) {
            QTest::addRow("%s", name) << QByteArray(lines).replace('|', '\n')
                                      << (records ? QString::fromUtf8(records) : QString());
        };
        row("one record per port and pid, sorted by port, then pid",
            "p123|cnode|n0.0.0.0:3000|n[::1]:3000|p900|csshd|n0.0.0.0:22|p100|cweb|n[::]:8080|"
            "p50|capi|n[::]:8080",
            "22 900 sshd|3000 123 node|8080 50 api|8080 100 web");
        row("name and pid carry over, from none",
            "n[::]:80|p10|cfirst|n[::]:1|p11|n[::]:2|csecond|n[::]:3",
            "1 10 first|2 11 first|3 11 second|80 0 ");
        // The repeat on the next line and one seen further back take different paths.
        row("first of a repeated pair wins", "p1|ca|n*:5|cz|n*:5|p2|cb|n*:5|p1|cc|n*:5|n*:6",
            "5 1 a|5 2 b|6 1 c");
        row("pids: bad ones are 0; the limits; a plus",
            "pabc|n*:1|p|n*:2|p2147483648|n*:3|p2147483647|n*:4|p-2147483648|n*:5|p+42|n*:6",
            "1 0 |2 0 |3 0 |4 2147483647 |5 -2147483648 |6 42 ");
        row("no record from bad names",
            "p1|n0.0.0.0:|nlocalhost|n0.0.0.0:ssh|n0.0.0.0:22 |n0.0.0.0: 22|n*:2x|n::1:0x10|n|"
            "n*:99999999999999999999|n*:9223372036854775808|n*:+|n*:-|n*:+-5|n*:--5",
            "");
        row("last colon, signs, 64-bit limits",
            "p1|n[fe80::1%eth0]:631|n*:+80|n*:-1|n*:9223372036854775807|n*:-9223372036854775808",
            "-9223372036854775808 1 |-1 1 |80 1 |631 1 |9223372036854775807 1 ");
        row("other letters change nothing; names kept as written, bare c empties",
            "p1|cname|f12|tIPv4|P99|C other|N*:7|é|n*:8|c|n*:9|c a:b \\t café|n*:10",
            "8 1 name|9 1 |10 1  a:b \\t café");
        row("carriage return stays in the value; empty lines", "\n\np1\n\ncname\r\nn*:8\r\nn*:9\n",
            "9 1 name\r");
        row("UDP beside TCP on a port, after it; a connected socket left out",
            "p1|cdns|PUDP|n*:53|PTCP|n*:53|PUDP|n127.0.0.1:5000->127.0.0.1:53|n[::1]:53|p2|n*:53",
            "53 1 dns|53/udp 1 dns|53 2 dns");
        row("empty", "", "");
        row("stray byte", "p1|cab\xff|n*:1|", nullptr);
    }
    void parse()
    {
        QFETCH(QByteArray, output);
        QFETCH(QString, records);
        const auto ports = LsofParser::parse(QByteArrayView(output));
        QCOMPARE(ports ? describe(*ports) : QString(), records);
        QCOMPARE(ports.has_value(), !records.isNull());
    }

    // Many pairs, each seen again out of order under another name.
    void manyRepeatedPairs()
    {
        QByteArray output;
        for (const char* name : {"first", "second"})
            for (int pid = 9999; pid > 0; --pid)
                output += "p" + QByteArray::number(pid) + "\nc" + name +
                          "\nn*:" + QByteArray::number(pid % 10) + '\n';
        QStringList expected;
        for (int port = 0; port < 10; ++port)
            for (int pid = port ? port : 10; pid < 10000; pid += 10)
                expected << u"%1 %2 first"_s.arg(port).arg(pid);
        QCOMPARE(describe(LsofParser::parse(QByteArrayView(output)).value()), expected.join(u'|'));
    }

    void outcomes_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<QueryError>("error");
        QTest::addColumn<QString>("records");
        const auto row = [](const char* name, const char* body, QueryError error,
                            const QString& records = {}, int timeoutMs = 60000) {
            QTest::addRow("%s", name) << QByteArray(body) << timeoutMs << error << records;
        };
        // The six arguments, in order, come back as the name; the exit status is ignored.
        row("arguments, non-zero exit", R"(printf 'p1\nc%s\nn*:1\n' "$*"; exit 3)",
            QueryError::None, u"1 1 -iTCP -sTCP:LISTEN -iUDP -P -n -F pcPn"_s);
        row("missing executable", nullptr, QueryError::StartFailed);
        row("invalid UTF-8 fails the whole answer", "printf 'p7\\ncx\\nn*:80\\ncbad\\377\\n'",
            QueryError::InvalidUtf8);
        // 8 MiB on standard error first, which must go somewhere that never fills, then
        // about 3 MiB of output, far beyond any pipe buffer.
        row("floods on both outputs",
            "head -c 8388608 /dev/zero >&2; awk 'BEGIN { for (i = 1; i <= 131072; i++) "
            "printf \"p%d\\ncx\\nn127.0.0.1:%d\\nn[::1]:%d\\n\", i, i, i }'",
            QueryError::None, u"131072 records"_s);
        // Hung while reading, and hung in the wait after its output closed.
        row("writes, then hangs", "printf 'p1\\ncx\\nn*:1\\n'; exec sleep 60", QueryError::TimedOut,
            {}, 300);
        row("closes its output, then hangs", "exec sleep 60 >&-", QueryError::TimedOut, {}, 300);
    }
    void outcomes()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, timeoutMs);
        QFETCH(QueryError, error);
        QFETCH(QString, records);
        const QString path = lister(body);
        QElapsedTimer timer;
        timer.start();
        const QueryResult result = queryLsof(path, std::chrono::milliseconds(timeoutMs));
        // A flood that blocked would run into the deadline and fail by its error; a slow
        // machine (a sanitizer build under load) may take seconds over the flood honestly.
        QVERIFY2(timer.elapsed() < timeoutMs + 10000, "the bound was not kept");
        QCOMPARE(result.error, error);
        QCOMPARE(result.detail.contains(path), error != QueryError::None);
        QCOMPARE(result.ports.size() > 10 ? u"%1 records"_s.arg(result.ports.size())
                                          : describe(result.ports),
                 records);
        // Reaped, whatever happened: not even a zombie is left under its pid.
        QFile pidFile(path + u".pid"_s);
        if (pidFile.open(QIODevice::ReadOnly))
            QVERIFY(::kill(pid_t(pidFile.readAll().trimmed().toInt()), 0) == -1 && errno == ESRCH);
    }

    // Queries from several threads at once: no child may hold another's pipe open.
    void concurrentRuns()
    {
        const QString path = lister("sleep 0.2; echo p1; echo 'n*:1'");
        std::atomic<int> good = 0;
        std::thread threads[6];
        for (std::thread& thread : threads)
            thread = std::thread([&] { good += queryLsof(path, 20s).ports.size() == 1; });
        for (std::thread& thread : threads)
            thread.join();
        QCOMPARE(good.load(), 6);
    }
};

QTEST_GUILESS_MAIN(TestLsof)
#include "tst_lsof.moc"
