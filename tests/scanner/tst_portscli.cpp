#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// tidewatch-ports, run as a terminal user would run it, over stand-in listers.
class TestPortsCli : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    struct Run
    {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };

    static Run runTool(const QStringList& arguments)
    {
        QProcess process;
        process.start(QStringLiteral(TIDEWATCH_PORTS_PATH), arguments);
        Run result;
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return result;
        return {process.exitCode(), process.readAllStandardOutput(),
                process.readAllStandardError()};
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // The lister is a shell script body; "LISTER" in the arguments stands for its path. A
    // null out is the usage text; an empty err means nothing on stderr.
    void run_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("lister");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");

        const QString lister = QStringLiteral("LISTER");
        const QStringList table{QStringLiteral("--lsof"), lister};
        const QStringList json{QStringLiteral("--json"), QStringLiteral("--lsof"), lister};
        QTest::addRow("table") << table
                               << QByteArray("printf 'p900\\ncsshd\\nn*:22\\np12345\\ncweb "
                                             "server\\nn*:8080\\n'")
                               << 0
                               << QByteArray("PORT    PID  COMMAND\n"
                                             "  22    900  sshd\n"
                                             "8080  12345  web server\n")
                               << QByteArray();
        QTest::addRow("json at the limits")
            << json
            << QByteArray("printf 'p-2147483648\\nca \"q\" \\\\\\\\n\\nn*:-9223372036854775808\\n"
                          "p2147483647\\ncbig\\nn*:9223372036854775807\\n'")
            << 0
            << QByteArray("[\n  {\"port\": -9223372036854775808, \"pid\": -2147483648, "
                          "\"processName\": \"a \\\"q\\\" \\\\\\\\n\"},\n"
                          "  {\"port\": 9223372036854775807, \"pid\": 2147483647, "
                          "\"processName\": \"big\"}\n]\n")
            << QByteArray();
        QTest::addRow("empty table is success")
            << table << QByteArray("true") << 0 << QByteArray("PORT  PID  COMMAND\n")
            << QByteArray();
        QTest::addRow("empty json is success")
            << json << QByteArray("true") << 0 << QByteArray("[]\n") << QByteArray();
        QTest::addRow("missing lister")
            << table << QByteArray() << 1 << QByteArray("") << QByteArray("could not start");
        QTest::addRow("not UTF-8") << table << QByteArray("printf 'p1\\nc\\351\\nn*:1\\n'") << 1
                                   << QByteArray("") << QByteArray("not valid UTF-8");
        // Scans that many times with one source and prints the last answer: the port is
        // the number of runs.
        QTest::addRow("repeat")
            << QStringList{QStringLiteral("--repeat"), QStringLiteral("3")} + table
            << QByteArray(R"(echo >> "$0.runs"; printf 'p7\ncweb\nn*:%s\n' $(wc -l < "$0.runs"))")
            << 0 << QByteArray("PORT  PID  COMMAND\n   3    7  web\n") << QByteArray();
        QTest::addRow("help") << QStringList{QStringLiteral("--help")} << QByteArray() << 0
                              << QByteArray() << QByteArray();
        // A usage error goes to stderr only.
        for (const QStringList& wrong :
             {QStringList{QStringLiteral("--bogus")}, QStringList{QStringLiteral("--lsof")},
              QStringList{QStringLiteral("8080")},
              QStringList{QStringLiteral("--repeat"), QStringLiteral("0")}}) {
            QTest::addRow("%s", qPrintable(wrong.join(QLatin1Char(' '))))
                << wrong << QByteArray() << 2 << QByteArray("") << QByteArray("--json");
        }
    }
    void run()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, lister);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);

        const QString path = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
        if (!lister.isNull()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("#!/bin/sh\n" + lister + '\n');
            file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                QFileDevice::ExeOwner);
        }
        arguments.replaceInStrings(QStringLiteral("LISTER"), path);
        const Run result = runTool(arguments);
        QCOMPARE(result.exitCode, exitCode);
        if (out.isNull())
            QVERIFY2(result.out.contains("--json") && result.out.contains("--lsof"),
                     result.out.constData());
        else
            QCOMPARE(result.out, out);
        QVERIFY2(err.isEmpty() ? result.err.isEmpty() : result.err.contains(err),
                 result.err.constData());
    }
};

QTEST_GUILESS_MAIN(TestPortsCli)
#include "tst_portscli.moc"
