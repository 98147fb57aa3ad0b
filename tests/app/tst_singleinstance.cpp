#include "singleinstance.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

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

    // Anything but a regular file at the lock's path is held by no running copy: it is
    // cleared before QLockFile looks (a FIFO blocked it), or the guard stands aside. So it
    // does when the lock's folder is not the user's own and private, as another user could
    // hold the lock there. Either way this copy starts.
    void lockPath_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("isGuarded"); // this copy holds the lock
        QTest::addRow("dangling link") << "dangling" << true;
        QTest::addRow("link to a file, which stays") << "link" << true;
        QTest::addRow("empty folder") << "folder" << true;
        QTest::addRow("FIFO") << "fifo" << true;
        QTest::addRow("folder with contents: kept, started anyway") << "full" << false;
        QTest::addRow("the lock's folder another user's") << "others" << false;
        QTest::addRow("the lock's folder open to all") << "open" << false;
        QTest::addRow("the lock's folder a link to a private one") << "linked" << false;
    }
    void lockPath()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        QString folder = dir.path();
        const QString path = dir.filePath(QStringLiteral("org.example.app.lock"));
        const QString target = dir.filePath(QStringLiteral("target"));
        QFile(target).open(QIODevice::WriteOnly);
        if (kind == u"dangling" || kind == u"link") {
            QVERIFY(
                QFile::link(kind == u"link" ? target : dir.filePath(QStringLiteral("gone")), path));
        } else if (kind == u"folder" || kind == u"full") {
            QVERIFY(QDir().mkpath(kind == u"full" ? path + QStringLiteral("/inside") : path));
        } else if (kind == u"fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == u"others") {
            if (::geteuid() != 0)
                QSKIP("only root can give a folder to another user");
            QCOMPARE(::chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);
        } else if (kind == u"open") {
            QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0777), 0);
        } else {
            folder = dir.filePath(QStringLiteral("linked"));
            QVERIFY(QFile::link(dir.path(), folder));
        }
        {
            const SingleInstanceGuard guard(QStringLiteral("org.example.app"), folder);
            QVERIFY(!guard.isDuplicate());
            QTEST(QFileInfo(path).isFile() && !QFileInfo(path).isSymLink(), "isGuarded");
        }
        QVERIFY(QFile::exists(target));
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
