#include "childprocess.h"
#include "lsofsource.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cerrno>
#include <signal.h>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

// The lsof reader against stand-in listers: shell scripts that print what a test needs.
class TestLsofSource : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString script(const QString& name, const QByteArray& body)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write("#!/bin/sh\n" + body + '\n');
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                            QFileDevice::ExeOwner);
        return path;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void passesTheSixArguments()
    {
        const QString path = script(QStringLiteral("args"), R"(for a in "$@"; do echo "c$a"; done
echo p1; echo 'n*:1')");
        const QueryResult result = queryLsof(path, 10s);
        QVERIFY(result.ok());
        QCOMPARE(result.ports.size(), 1);
        // Each argument became the current name in turn; the last one stays.
        QCOMPARE(result.ports.constFirst().processName(), QStringLiteral("pcn"));
        QCOMPARE(LsofSource::arguments(),
                 QStringList({QStringLiteral("-iTCP"), QStringLiteral("-sTCP:LISTEN"),
                              QStringLiteral("-P"), QStringLiteral("-n"), QStringLiteral("-F"),
                              QStringLiteral("pcn")}));
    }

    void outcomes_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("records");

        QTest::addRow("non-zero exit with output is parsed")
            << QByteArray("printf 'p7\\ncx\\nn*:80\\n'; exit 3") << int(QueryError::None) << 1;
        QTest::addRow("non-zero exit without output")
            << QByteArray("exit 1") << int(QueryError::None) << 0;
        QTest::addRow("invalid UTF-8 fails the whole answer")
            << QByteArray("printf 'p7\\ncx\\nn*:80\\ncbad\\377\\n'") << int(QueryError::InvalidUtf8)
            << 0;
        // 2^17 processes of 4 lines each, about 3 MiB: far beyond any pipe buffer.
        QTest::addRow("several MiB of output")
            << QByteArray("awk 'BEGIN { for (i = 1; i <= 131072; i++) "
                          "printf \"p%d\\ncproc-%d\\nn127.0.0.1:%d\\nn[::1]:%d\\n\", i, i, i, i }'")
            << int(QueryError::None) << 131072;
        // 8 MiB on standard error before any output: it must go somewhere that never fills.
        QTest::addRow("flood on standard error")
            << QByteArray("head -c 8388608 /dev/zero >&2; printf 'p1\\ncx\\nn*:22\\n'")
            << int(QueryError::None) << 1;
    }
    void outcomes()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, error);
        QFETCH(int, records);
        const QString path = script(QString::fromLatin1(QTest::currentDataTag()), body);
        const QueryResult result = queryLsof(path, 60s);
        QCOMPARE(int(result.error), error);
        QCOMPARE(result.ports.size(), records);
        QCOMPARE(result.detail.isEmpty(), error == int(QueryError::None));
    }

    void missingExecutable()
    {
        const QString path = m_dir.filePath(QStringLiteral("no-such-lsof"));
        const QueryResult result = queryLsof(path, 10s);
        QCOMPARE(result.error, QueryError::StartFailed);
        QVERIFY(result.ports.isEmpty());
        QVERIFY2(result.detail.contains(path), qPrintable(result.detail));
        // Through the PortSource interface it is just an empty list.
        QVERIFY(LsofSource(path).query().ports.isEmpty());
    }

    void hangPastTheBoundIsKilledAndReaped_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addRow("never writes") << QByteArray("exec sleep 60");
        QTest::addRow("writes, then hangs")
            << QByteArray("printf 'p1\\ncx\\nn*:1\\n'; exec sleep 60");
        // Output closed, process still running: the wait is bounded too.
        QTest::addRow("closes its output, then hangs") << QByteArray("exec sleep 60 >&-");
    }
    void hangPastTheBoundIsKilledAndReaped()
    {
        QFETCH(QByteArray, body);
        const QString pidFile = m_dir.filePath(QStringLiteral("hang.pid"));
        const QString path =
            script(QStringLiteral("hang"), "echo $$ > '" + pidFile.toUtf8() + "'\n" + body);
        QElapsedTimer timer;
        timer.start();
        const QueryResult result = queryLsof(path, 300ms);
        QCOMPARE(result.error, QueryError::TimedOut);
        QVERIFY(result.ports.isEmpty());
        QVERIFY2(timer.elapsed() < 10000, "the bound was not kept");

        QFile file(pidFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const pid_t pid = pid_t(file.readAll().trimmed().toInt());
        QVERIFY(pid > 0);
        // Reaped: not even a zombie is left under that pid.
        errno = 0;
        QCOMPARE(::kill(pid, 0), -1);
        QCOMPARE(errno, ESRCH);
    }

    // Several queries at once, from several threads, each with its own pipes.
    void concurrentRuns()
    {
        const QString path =
            script(QStringLiteral("slowish"), "sleep 0.2; printf 'p1\\ncx\\nn*:1\\n'");
        std::vector<std::thread> threads;
        std::atomic<int> good = 0;
        for (int i = 0; i < 6; ++i) {
            threads.emplace_back([&] {
                const QueryResult result = queryLsof(path, 20s);
                if (result.ok() && result.ports.size() == 1)
                    ++good;
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        QCOMPARE(good.load(), 6);
    }
};

QTEST_GUILESS_MAIN(TestLsofSource)
#include "tst_lsofsource.moc"
