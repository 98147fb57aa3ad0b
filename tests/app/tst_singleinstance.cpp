#include "singleinstance.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

using PidList = QList<qint64>;

class TestSingleInstance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decision_data();
    void decision();
    void lockNamingOurOwnPidIsTakenOver();
    void oldUnreadableLockIsTakenOver();
    void secondProcessQuitsWhileFirstStays();
    void deadHolderDoesNotBlockAStart();
    void simultaneousStartsLeaveExactlyOne();
    void realProgramStaysSingle();

private:
    std::unique_ptr<QProcess> startProbe(const QString& identifier, const QString& directory);
    QTemporaryDir m_dir;
};

void TestSingleInstance::decision_data()
{
    QTest::addColumn<std::optional<QString>>("identifier");
    QTest::addColumn<qint64>("ownPid");
    QTest::addColumn<PidList>("running");
    QTest::addColumn<bool>("expected");

    const std::optional<QString> id = QStringLiteral("com.kestrel.tidewatch");
    QTest::addRow("alone, list holds only us") << id << qint64(100) << PidList{100} << false;
    QTest::addRow("alone, empty list") << id << qint64(100) << PidList{} << false;
    QTest::addRow("another instance") << id << qint64(100) << PidList{42} << true;
    QTest::addRow("us and another") << id << qint64(100) << PidList{100, 42} << true;
    QTest::addRow("holder pid unreadable yet (0)") << id << qint64(100) << PidList{0} << true;
    QTest::addRow("no identifier: no guard")
        << std::optional<QString>{} << qint64(100) << PidList{42} << false;
    QTest::addRow("empty identifier counts as none")
        << std::optional<QString>{QString()} << qint64(100) << PidList{42} << false;
}

void TestSingleInstance::decision()
{
    QFETCH(std::optional<QString>, identifier);
    QFETCH(qint64, ownPid);
    QFETCH(PidList, running);
    QFETCH(bool, expected);

    QCOMPARE(isAnotherInstanceRunning(identifier, ownPid, running), expected);
}

void TestSingleInstance::lockNamingOurOwnPidIsTakenOver()
{
    // A lock left behind by an earlier process that had our pid: not another instance.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("org.example.reuse.lock"));
    QFile stale(path);
    QVERIFY(stale.open(QIODevice::WriteOnly));
    // Named after this very executable, so the lock looks held by a live process.
    const QString exe = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    stale.write(QByteArray::number(QCoreApplication::applicationPid()) + '\n' + exe.toUtf8() +
                "\n\n");
    stale.close();

    {
        const SingleInstanceGuard guard(QStringLiteral("org.example.reuse"), dir.path());
        QVERIFY(!guard.isDuplicate());
    }
    QVERIFY2(!QFile::exists(path), "the guard took the lock over and released it");
}

void TestSingleInstance::oldUnreadableLockIsTakenOver()
{
    // A holder that died between creating the file and writing its pid left it empty.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("org.example.empty.lock"));
    QFile empty(path);
    QVERIFY(empty.open(QIODevice::WriteOnly));
    QVERIFY(empty.setFileTime(QDateTime::currentDateTime().addSecs(-120),
                              QFileDevice::FileModificationTime));
    empty.close();

    {
        const SingleInstanceGuard guard(QStringLiteral("org.example.empty"), dir.path());
        QVERIFY(!guard.isDuplicate());
    }
    QVERIFY2(!QFile::exists(path), "the guard took the lock over and released it");
}

std::unique_ptr<QProcess> TestSingleInstance::startProbe(const QString& identifier,
                                                         const QString& directory)
{
    auto probe = std::make_unique<QProcess>();
    probe->setProgram(QStringLiteral(GUARDPROBE_PATH));
    probe->setArguments({identifier, directory});
    probe->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    probe->start();
    return probe;
}

// waitForFinished() fails on a process that has already finished.
static bool finishes(QProcess& process)
{
    return process.state() == QProcess::NotRunning || process.waitForFinished(10000);
}

static QByteArray readLineFrom(QProcess& process)
{
    if (!process.canReadLine() && !process.waitForReadyRead(10000))
        return {};
    return process.readLine().trimmed();
}

void TestSingleInstance::secondProcessQuitsWhileFirstStays()
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

    first->closeWriteChannel();
    other->closeWriteChannel();
    QVERIFY(finishes(*first));
    QVERIFY(finishes(*other));

    // Once the first has quit, the next start stays.
    auto third = startProbe(id, dir.path());
    QCOMPARE(readLineFrom(*third), QByteArray("holding"));
    third->closeWriteChannel();
    QVERIFY(finishes(*third));
}

void TestSingleInstance::deadHolderDoesNotBlockAStart()
{
    QTemporaryDir dir;
    const QString id = QStringLiteral("org.example.crashed");
    auto crashed = startProbe(id, dir.path());
    QCOMPARE(readLineFrom(*crashed), QByteArray("holding"));
    crashed->kill(); // SIGKILL: the lock file stays behind
    QVERIFY(finishes(*crashed));
    QVERIFY(QFile::exists(dir.filePath(id + QStringLiteral(".lock"))));

    auto next = startProbe(id, dir.path());
    QCOMPARE(readLineFrom(*next), QByteArray("holding"));
    next->closeWriteChannel();
    QVERIFY(finishes(*next));
}

void TestSingleInstance::simultaneousStartsLeaveExactlyOne()
{
    constexpr int copies = 6;
    for (int round = 0; round < 5; ++round) {
        QTemporaryDir dir;
        const QString id = QStringLiteral("org.example.race");
        std::vector<std::unique_ptr<QProcess>> probes;
        for (int i = 0; i < copies; ++i)
            probes.push_back(startProbe(id, dir.path()));

        int holding = 0;
        int duplicates = 0;
        for (const auto& probe : probes) {
            const QByteArray line = readLineFrom(*probe);
            if (line == "holding") {
                ++holding;
            } else if (line == "duplicate") {
                ++duplicates;
                QVERIFY(finishes(*probe));
                QCOMPARE(probe->exitCode(), 0);
            }
        }
        QCOMPARE(holding, 1);
        QCOMPARE(duplicates, copies - 1);
        for (const auto& probe : probes) {
            probe->closeWriteChannel();
            QVERIFY(finishes(*probe));
        }
    }
}

void TestSingleInstance::realProgramStaysSingle()
{
    // The built program itself, offscreen, with its own runtime folder for the lock.
    QTemporaryDir runtime;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    const auto start = [&environment] {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment);
        process->setProgram(QStringLiteral(TIDEWATCH_PATH));
        process->start();
        return process;
    };

    auto first = start();
    QVERIFY(first->waitForStarted(10000));
    const QString lockPath = runtime.filePath(QStringLiteral(TIDEWATCH_APP_ID ".lock"));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(lockPath) && QFileInfo(lockPath).size() > 0, 10000);

    // A second copy, then several at once: each quits quietly with status 0.
    std::vector<std::unique_ptr<QProcess>> copies;
    copies.push_back(start());
    QVERIFY(finishes(*copies.back()));
    for (int i = 0; i < 3; ++i)
        copies.push_back(start());
    for (const auto& copy : copies) {
        QVERIFY(finishes(*copy));
        QCOMPARE(copy->exitStatus(), QProcess::NormalExit);
        QCOMPARE(copy->exitCode(), 0);
        QCOMPARE(copy->readAllStandardOutput(), QByteArray());
    }
    QCOMPARE(first->state(), QProcess::Running);

    first->kill();
    QVERIFY(finishes(*first));
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
