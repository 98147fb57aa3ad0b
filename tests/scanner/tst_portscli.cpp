#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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

    Run run(const QStringList& arguments)
    {
        QProcess process;
        process.start(QStringLiteral(TIDEWATCH_PORTS_PATH), arguments);
        Run result;
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return result;
        result.exitCode = process.exitCode();
        result.out = process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        return result;
    }

    QString lister(const QString& name, const QByteArray& output)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write("#!/bin/sh\nprintf '" + output + "'\n");
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                            QFileDevice::ExeOwner);
        return path;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void table()
    {
        const QString path = lister(QStringLiteral("table"),
                                    "p900\\ncsshd\\nn*:22\\np12345\\ncweb server\\nn*:8080\\n");
        const Run result = run({QStringLiteral("--lsof"), path});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.out, QByteArray("PORT    PID  COMMAND\n"
                                        "  22    900  sshd\n"
                                        "8080  12345  web server\n"));
        QVERIFY(result.err.isEmpty());
    }

    void json()
    {
        // Values at the 64-bit and 32-bit limits survive exactly.
        const QString path =
            lister(QStringLiteral("json"),
                   "p-2147483648\\nca \"quoted\" \\\\\\\\name\\nn*:-9223372036854775808\\n"
                   "p2147483647\\ncbig\\nn*:9223372036854775807\\n");
        const Run result = run({QStringLiteral("--json"), QStringLiteral("--lsof"), path});
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.out.contains("\"port\": 9223372036854775807"), result.out.constData());
        QVERIFY(result.out.contains("\"pid\": -2147483648"));
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(result.out, &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        const QJsonArray array = document.array();
        QCOMPARE(array.size(), 2);
        const QJsonObject first = array.at(0).toObject();
        QCOMPARE(first.keys(), QStringList({QStringLiteral("pid"), QStringLiteral("port"),
                                            QStringLiteral("processName")}));
        QCOMPARE(first.value(QStringLiteral("processName")).toString(),
                 QStringLiteral("a \"quoted\" \\\\name"));
        QCOMPARE(array.at(1).toObject().value(QStringLiteral("pid")).toInt(), 2147483647);
    }

    void emptyIsSuccess_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("out");
        QTest::addRow("table") << QStringList() << QByteArray("PORT  PID  COMMAND\n");
        QTest::addRow("json") << QStringList{QStringLiteral("--json")} << QByteArray("[]\n");
    }
    void emptyIsSuccess()
    {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, out);
        const Run result =
            run(options << QStringLiteral("--lsof") << lister(QStringLiteral("empty"), ""));
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.out, out);
    }

    void failures_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("reason");
        QTest::addRow("missing lister")
            << m_dir.filePath(QStringLiteral("nowhere")) << QByteArray("could not start");
        QTest::addRow("not UTF-8") << lister(QStringLiteral("latin1"), "p1\\nc\\351\\nn*:1\\n")
                                   << QByteArray("not valid UTF-8");
    }
    void failures()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, reason);
        const Run result = run({QStringLiteral("--lsof"), path});
        QCOMPARE(result.exitCode, 1);
        QVERIFY(result.out.isEmpty());
        QVERIFY2(result.err.contains(reason), result.err.constData());
    }

    void usage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addRow("help") << QStringList{QStringLiteral("--help")} << 0;
        QTest::addRow("unknown option") << QStringList{QStringLiteral("--bogus")} << 2;
        QTest::addRow("lsof without a path") << QStringList{QStringLiteral("--lsof")} << 2;
        QTest::addRow("stray argument") << QStringList{QStringLiteral("8080")} << 2;
        QTest::addRow("repeat without a count") << QStringList{QStringLiteral("--repeat")} << 2;
        QTest::addRow("repeat 0") << QStringList{QStringLiteral("--repeat"), QStringLiteral("0")}
                                  << 2;
        QTest::addRow("repeat not a number")
            << QStringList{QStringLiteral("--repeat"), QStringLiteral("3x")} << 2;
    }

    // --repeat scans that many times with one source and prints the last answer.
    void repeat()
    {
        const QString counter = m_dir.filePath(QStringLiteral("runs"));
        const QString path = m_dir.filePath(QStringLiteral("counting"));
        QFile script(path);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho run >> '" + QFile::encodeName(counter) +
                     "'\nprintf 'p7\\ncweb\\nn*:%s\\n' $(wc -l < '" + QFile::encodeName(counter) +
                     "')\n");
        script.close();
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                              QFileDevice::ExeOwner);
        const Run result =
            run({QStringLiteral("--repeat"), QStringLiteral("3"), QStringLiteral("--lsof"), path});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.out, QByteArray("PORT  PID  COMMAND\n   3    7  web\n"));
        QFile runs(counter);
        QVERIFY(runs.open(QIODevice::ReadOnly));
        QCOMPARE(runs.readAll().count('\n'), 3);
    }
    void usage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        const Run result = run(arguments);
        QCOMPARE(result.exitCode, exitCode);
        // Help goes where it was asked for; a usage error goes to stderr only.
        const QByteArray& usageText = exitCode == 0 ? result.out : result.err;
        QVERIFY2(usageText.contains("--json") && usageText.contains("--lsof"),
                 usageText.constData());
        QVERIFY(exitCode == 0 ? result.err.isEmpty() : result.out.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPortsCli)
#include "tst_portscli.moc"
