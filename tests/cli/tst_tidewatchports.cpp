#include "applicationinfo.h"
#include "standinlister.h"

#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

// tidewatch-ports as a terminal user runs it, over stand-in listers (--lsof LISTER).
class TestTidewatchPorts : public QObject
{
    Q_OBJECT

    StandInListers m_listers;

private Q_SLOTS:
    // tidewatch-ports as a terminal user runs it; LISTER stands for the lister's path.
    void portsTool_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err"); // a part of it; empty: nothing on stderr
        const auto row = [](const char* name, const char* arguments, const char* body, int exitCode,
                            const char* out, const char* err = "") {
            QTest::addRow("%s", name) << QString::fromLatin1(arguments) << QByteArray(body)
                                      << exitCode << QByteArray(out) << QByteArray(err);
        };
        // lsof tells no whole program name, unit or container.
#define NO_FACTS                                                                                   \
    ", \"program\": null, \"unit\": null, \"container\": null, \"protocol\": \"tcp\", "            \
    "\"connections\": null, \"started\": null"
        // An address once per record, sorted, without brackets; no process and no user: "-".
        row("table", "--lsof LISTER",
            "printf 'px\\nn*:9\\np900\\ncsshd\\nn*:22\\nn[::1]:22\\nn*:22\\np12345\\n"
            "cweb server\\nn127.0.0.1:8080\\n'",
            0,
            "PORT  PROTO    PID  USER  ADDRESS    CONN  COMMAND\n"
            "   9  tcp        -  -     *             -  -\n"
            "  22  tcp      900  -     *,::1         -  sshd\n"
            "8080  tcp    12345  -     127.0.0.1     -  web server\n");
        row("json at the limits; no process", "--json --lsof LISTER",
            "printf 'n[::1]:0\\np-2147483648\\nca \"q\" \\\\\\\\n\\nn*:-9223372036854775808\\n"
            "p2147483647\\ncbig\\nn*:9223372036854775807\\n'",
            0,
            "[\n  {\"port\": -9223372036854775808, \"pid\": -2147483648, \"processName\": \"a "
            "\\\"q\\\" \\\\\\\\n\", \"user\": \"\", \"addresses\": [\"*\"]" NO_FACTS "},\n"
            "  {\"port\": 0, \"pid\": null, \"processName\": null, \"user\": \"\", "
            "\"addresses\": [\"::1\"]" NO_FACTS "},\n  {\"port\": 9223372036854775807, "
            "\"pid\": 2147483647, \"processName\": \"big\", \"user\": \"\", \"addresses\": "
            "[\"*\"]" NO_FACTS "}\n]\n");
        // A name without a usable process id: pid null, the name kept.
        row("json, a name without pid", "--json --lsof LISTER", "printf 'p0\\ncinit\\nn*:80\\n'", 0,
            "[\n  {\"port\": 80, \"pid\": null, \"processName\": \"init\", \"user\": \"\", "
            "\"addresses\": [\"*\"]" NO_FACTS "}\n]\n");
#undef NO_FACTS
        row("empty json", "--lsof LISTER --json", "true", 0, "[]\n");
        // A name can't steer the terminal: escape sequences and overrides show as text.
        row("control characters in the table", "--lsof LISTER",
            "printf 'p7\\nc\\033[31mred\\342\\200\\256x\\nn*:80\\n'", 0,
            "PORT  PROTO  PID  USER  ADDRESS  CONN  COMMAND\n"
            "  80  tcp      7  -     *           -  \\u001b[31mred\\u202ex\n");
        row("C1 controls and separators in the table", "--lsof LISTER",
            "printf 'p7\\nca\\302\\233[2J\\302\\205b\\342\\200\\250c\\nn*:80\\n'", 0,
            "PORT  PROTO  PID  USER  ADDRESS  CONN  COMMAND\n"
            "  80  tcp      7  -     *           -  a\\u009b[2J\\u0085b\\u2028c\n");
        const QByteArray version = ApplicationInfo::fromBuild().version.toUtf8();
        QTest::addRow("version") << u"--version"_s << QByteArray() << 0
                                 << QByteArray("tidewatch-ports " + version + '\n') << QByteArray();
        row("missing lister", "--lsof LISTER", nullptr, 1, "", "could not start");
        // Scans that many times with one source and prints the last answer: the port is
        // the number of runs.
        row("repeat", "--repeat 3 --lsof LISTER",
            R"(echo >> "$0.runs"; printf 'p7\ncweb\nn*:%s\n' $(wc -l < "$0.runs"))", 0,
            "PORT  PROTO  PID  USER  ADDRESS  CONN  COMMAND\n"
            "   3  tcp      7  -     *           -  web\n");
        // Ports asked about: only their rows; 3 when nothing listens on any of them.
        // A port matches either protocol, unless one is asked for.
        const char* two = "printf 'p9\\ncsshd\\nn*:22\\nPUDP\\nn*:22\\np5\\ncweb\\nn*:8080\\n'";
#define HEADER "PORT  PROTO  PID  USER  ADDRESS  CONN  COMMAND\n"
        row("ports", "--lsof LISTER 443 22", two, 0,
            HEADER "  22  tcp      9  -     *           -  sshd\n"
                   "  22  udp      9  -     *           -  sshd\n");
        row("udp", "--udp --lsof LISTER", two, 0,
            HEADER "  22  udp      9  -     *           -  sshd\n");
        row("tcp", "--tcp --lsof LISTER 22", two, 0,
            HEADER "  22  tcp      9  -     *           -  sshd\n");
        row("tcp and udp", "--tcp --udp --lsof LISTER 8080", two, 0,
            HEADER "8080  tcp      5  -     *           -  web\n");
        row("ports, none listens", "--json --lsof LISTER 443", two, 3, "[]\n");
#undef HEADER
        // A usage error goes to stderr only, with the help; its usage line names the program
        // as such, not by the path it was started by.
        for (const char* wrong : {"--bogus", "--lsof", "80x", "65536", "--repeat 0", "--interval 3601",
                                  "--interval 0", "--watch --metrics-file x",
                                  "--host -oProxyCommand=x", "--host h --metrics"})
            row(wrong, wrong, nullptr, 2, "", ": tidewatch-ports [options]");
    }

    void portsTool()
    {
        QFETCH(QString, arguments);
        QFETCH(QByteArray, body);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        QProcess tool;
        tool.start(QStringLiteral(TIDEWATCH_PORTS_PATH),
                   arguments.split(u' ').replaceInStrings(u"LISTER"_s, m_listers.forRow(body)));
        QVERIFY(tool.waitForFinished(60000) && tool.exitStatus() == QProcess::NormalExit);
        QCOMPARE(tool.exitCode(), exitCode);
        const QByteArray errors = tool.readAllStandardError();
        QCOMPARE(tool.readAllStandardOutput(), out);
        QVERIFY2(err.isEmpty() ? errors.isEmpty() : errors.contains(err), errors.constData());
    }
};

QTEST_GUILESS_MAIN(TestTidewatchPorts)
#include "tst_tidewatchports.moc"
