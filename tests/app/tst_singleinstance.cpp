#include "singleinstance.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

using PidList = QList<qint64>;

namespace {

// The guard alone, in a process of its own: prints "holding" or "duplicate".
std::unique_ptr<QProcess> startProbe(const QString& identifier, const QString& directory)
{
    auto probe = std::make_unique<QProcess>();
    probe->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    probe->start(QStringLiteral(GUARDPROBE_PATH), {identifier, directory});
    return probe;
}

// waitForFinished() fails on a process that has already finished.
bool finishes(QProcess& process)
{
    return process.state() == QProcess::NotRunning || process.waitForFinished(10000);
}

QByteArray readLineFrom(QProcess& process)
{
    if (!process.canReadLine() && !process.waitForReadyRead(10000))
        return {};
    return process.readLine().trimmed();
}

bool release(QProcess& probe)
{
    probe.closeWriteChannel();
    return finishes(probe);
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decision_data()
    {
        QTest::addColumn<std::optional<QString>>("identifier");
        QTest::addColumn<PidList>("running");
        QTest::addColumn<bool>("expected");
        const std::optional<QString> id = QStringLiteral("com.kestrel.tidewatch");
        QTest::addRow("alone, list holds only us") << id << PidList{100} << false;
        QTest::addRow("us and another") << id << PidList{100, 42} << true;
        QTest::addRow("holder pid unreadable yet (0)") << id << PidList{0} << true;
        QTest::addRow("no identifier: no guard")
            << std::optional<QString>{} << PidList{42} << false;
        QTest::addRow("empty identifier counts as none")
            << std::optional<QString>{QString()} << PidList{42} << false;
    }
    void decision()
    {
        QFETCH(std::optional<QString>, identifier);
        QFETCH(PidList, running);
        QTEST(isAnotherInstanceRunning(identifier, 100, running), "expected");
    }

    // Locks no live process holds: one left by an earlier process with our pid, and one whose
    // holder died before writing its pid.
    void staleLockIsTakenOver_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<int>("ageSeconds");
        // Named after this very executable, so the lock looks held by a live process.
        QTest::addRow("names our own pid")
            << QByteArray::number(QCoreApplication::applicationPid()) + '\n' +
                   QFileInfo(QCoreApplication::applicationFilePath()).fileName().toUtf8() + "\n\n"
            << 0;
        QTest::addRow("old and empty") << QByteArray() << 120;
    }
    void staleLockIsTakenOver()
    {
        QFETCH(QByteArray, contents);
        QFETCH(int, ageSeconds);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("org.example.stale.lock"));
        QFile stale(path);
        QVERIFY(stale.open(QIODevice::WriteOnly) && stale.write(contents) == contents.size());
        QVERIFY(stale.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds),
                                  QFileDevice::FileModificationTime));
        stale.close();
        {
            const SingleInstanceGuard guard(QStringLiteral("org.example.stale"), dir.path());
            QVERIFY(!guard.isDuplicate());
        }
        QVERIFY2(!QFile::exists(path), "the guard took the lock over and released it");
    }

    void secondProcessQuitsWhileFirstStays()
    {
        QTemporaryDir dir;
        const QString id = QStringLiteral("org.example.second");
        auto first = startProbe(id, dir.path());
        QCOMPARE(readLineFrom(*first), QByteArray("holding"));
        // However long the first has been running.
        QFile lock(dir.filePath(id + QStringLiteral(".lock")));
        QVERIFY(lock.open(QIODevice::ReadWrite));
        QVERIFY(lock.setFileTime(QDateTime::currentDateTime().addDays(-7),
                                 QFileDevice::FileModificationTime));
        lock.close();

        auto second = startProbe(id, dir.path());
        QVERIFY(finishes(*second));
        QCOMPARE(second->readAllStandardOutput().trimmed(), QByteArray("duplicate"));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(first->state(), QProcess::Running);

        // A copy with another identifier is another application.
        auto other = startProbe(QStringLiteral("org.example.other"), dir.path());
        QCOMPARE(readLineFrom(*other), QByteArray("holding"));
        QVERIFY(release(*other));

        // A crash leaves the lock file behind; it does not block the next start.
        first->kill();
        QVERIFY(finishes(*first));
        QVERIFY(lock.exists());
        auto next = startProbe(id, dir.path());
        QCOMPARE(readLineFrom(*next), QByteArray("holding"));
        QVERIFY(release(*next));
    }

    void simultaneousStartsLeaveExactlyOne()
    {
        constexpr int copies = 6;
        for (int round = 0; round < 5; ++round) {
            QTemporaryDir dir;
            std::vector<std::unique_ptr<QProcess>> probes;
            for (int i = 0; i < copies; ++i)
                probes.push_back(startProbe(QStringLiteral("org.example.race"), dir.path()));
            QByteArrayList lines;
            for (const auto& probe : probes)
                lines.append(readLineFrom(*probe));
            QCOMPARE(lines.count("holding"), 1);
            QCOMPARE(lines.count("duplicate"), copies - 1);
            for (const auto& probe : probes) {
                QVERIFY(release(*probe));
                QCOMPARE(probe->exitCode(), 0);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
