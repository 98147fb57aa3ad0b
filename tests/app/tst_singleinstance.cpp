#include "singleinstance.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class TestSingleInstance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The single-instance guard against a lock file left in its folder. Copies of the real
    // program, one holding the lock while others start, are the end-to-end test's.
    void singleInstanceGuard_data()
    {
        QTest::addColumn<std::optional<QString>>("identifier");
        QTest::addColumn<QByteArray>("lock");
        QTest::addColumn<int>("lockAgeSeconds");
        // Named after this very executable, so the lock looks held by a live process.
        const QByteArray ours = QByteArray::number(QCoreApplication::applicationPid()) + '\n' +
                                QCoreApplication::applicationName().toUtf8() + "\n\n";
        const std::optional<QString> id = QStringLiteral("org.example.app");
        // Locks no live process holds are taken over: one left by an earlier process with our
        // pid, and an old one whose holder died before writing its pid.
        QTest::addRow("lock names our own pid") << id << ours << 0;
        QTest::addRow("lock old and empty") << id << QByteArray() << 120;
        // No identifier, no guard: a fresh empty lock, which would read as held, is not looked at.
        QTest::addRow("no identifier") << std::optional<QString>() << QByteArray() << 0;
    }

    void singleInstanceGuard()
    {
        QFETCH(std::optional<QString>, identifier);
        QFETCH(QByteArray, lock);
        QFETCH(int, lockAgeSeconds);
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("org.example.app.lock")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(lock) == lock.size() && file.flush());
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-lockAgeSeconds),
                                 QFileDevice::FileModificationTime));
        {
            const SingleInstanceGuard guard(identifier, dir.path());
            QVERIFY(!guard.isDuplicate());
        }
        // Taken over, the lock goes with the guard; without an identifier it is left alone.
        QCOMPARE(file.exists(), !identifier);
    }

    // Anything but a regular file at the lock's path is held by no running copy; it used to
    // make every start quit as a duplicate.
    void leftoverAtLockPath_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("isRemoved");
        QTest::addRow("dangling link") << "dangling" << true;
        QTest::addRow("link to a file, which stays") << "link" << true;
        QTest::addRow("empty folder") << "folder" << true;
        QTest::addRow("folder with contents: kept, started anyway") << "full" << false;
    }

    void leftoverAtLockPath()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("org.example.app.lock"));
        const QString target = dir.filePath(QStringLiteral("target"));
        QFile(target).open(QIODevice::WriteOnly);
        if (kind == QLatin1String("dangling") || kind == QLatin1String("link"))
            QVERIFY(QFile::link(
                kind == QLatin1String("link") ? target : dir.filePath(QStringLiteral("gone")),
                path));
        else
            QVERIFY(QDir().mkpath(kind == QLatin1String("full") ? path + QStringLiteral("/inside")
                                                                : path));
        {
            const SingleInstanceGuard guard(QStringLiteral("org.example.app"), dir.path());
            QVERIFY(!guard.isDuplicate());
            QTEST(!QFileInfo(path).isDir() && !QFileInfo(path).isSymLink(), "isRemoved");
        }
        QVERIFY(QFile::exists(target));
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
