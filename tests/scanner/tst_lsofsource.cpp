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

    // The script notes its pid in PATH.pid. A null body leaves the lister missing.
    QString script(const QString& name, const QByteArray& body)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (body.isNull() || !file.open(QIODevice::WriteOnly))
            return path;
        file.write("#!/bin/sh\necho $$ > \"$0.pid\"\n" + body + '\n');
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                            QFileDevice::ExeOwner);
        return path;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void outcomes_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<QueryError>("error");
        QTest::addColumn<QString>("records");

        // The six arguments, in order, come back as the name; the exit status is ignored.
        QTest::addRow("arguments, non-zero exit")
            << QByteArray(R"(printf 'p1\nc%s\nn*:1\n' "$*"; exit 3)") << 60000 << QueryError::None
            << QStringLiteral("1:-iTCP -sTCP:LISTEN -P -n -F pcn");
        QTest::addRow("missing executable")
            << QByteArray() << 60000 << QueryError::StartFailed << QString();
        QTest::addRow("invalid UTF-8 fails the whole answer")
            << QByteArray("printf 'p7\\ncx\\nn*:80\\ncbad\\377\\n'") << 60000
            << QueryError::InvalidUtf8 << QString();
        // 8 MiB on standard error first, which must go somewhere that never fills, then
        // about 3 MiB of output, far beyond any pipe buffer.
        QTest::addRow("floods on both outputs")
            << QByteArray("head -c 8388608 /dev/zero >&2; awk 'BEGIN { for (i = 1; i <= 131072; "
                          "i++) printf \"p%d\\ncx\\nn127.0.0.1:%d\\nn[::1]:%d\\n\", i, i, i }'")
            << 60000 << QueryError::None << QStringLiteral("131072 records");
        // Hung while reading, and hung in the wait after its output closed.
        QTest::addRow("writes, then hangs")
            << QByteArray("printf 'p1\\ncx\\nn*:1\\n'; exec sleep 60") << 300
            << QueryError::TimedOut << QString();
        QTest::addRow("closes its output, then hangs")
            << QByteArray("exec sleep 60 >&-") << 300 << QueryError::TimedOut << QString();
    }
    void outcomes()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, timeoutMs);
        QFETCH(QueryError, error);
        QFETCH(QString, records);
        const QString path = script(QString::fromLatin1(QTest::currentDataTag()), body);
        QElapsedTimer timer;
        timer.start();
        const std::chrono::milliseconds timeout(timeoutMs);
        const QueryResult result = queryLsof(path, timeout);
        QVERIFY2(timer.elapsed() < 10000, "the bound was not kept");
        QCOMPARE(result.error, error);
        QCOMPARE(result.detail.contains(path), error != QueryError::None);
        QStringList got;
        for (const ListeningPort& port : result.ports)
            got << QStringLiteral("%1:%2").arg(port.port()).arg(port.processName());
        if (got.size() > 10)
            got = QStringList{QStringLiteral("%1 records").arg(got.size())};
        QCOMPARE(got.join(QLatin1Char('|')), records);
        if (!result.ok())
            QVERIFY(LsofSource(path, timeout).query().ports.isEmpty());

        // Reaped, whatever happened: not even a zombie is left under its pid.
        QFile pidFile(path + QStringLiteral(".pid"));
        if (pidFile.open(QIODevice::ReadOnly)) {
            const pid_t pid = pid_t(pidFile.readAll().trimmed().toInt());
            QVERIFY(pid > 0);
            errno = 0;
            QCOMPARE(::kill(pid, 0), -1);
            QCOMPARE(errno, ESRCH);
        }
    }

    // Queries from several threads at once: no child may hold another's pipe open.
    void concurrentRuns()
    {
        const QString path = script(QStringLiteral("slowish"), "sleep 0.2; echo p1; echo 'n*:1'");
        std::vector<std::thread> threads;
        std::atomic<int> good = 0;
        for (int i = 0; i < 6; ++i) {
            threads.emplace_back([&] {
                const QueryResult result = queryLsof(path, 20s);
                good += result.ok() && result.ports.size() == 1;
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        QCOMPARE(good.load(), 6);
    }
};

QTEST_GUILESS_MAIN(TestLsofSource)
#include "tst_lsofsource.moc"
