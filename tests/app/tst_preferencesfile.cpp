#include "preferencesfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class TestPreferencesFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What is at the preferences' path or its lock's: what QSettings could not read or lock
    // without blocking, or a file larger than any the program writes, is cleared or moved
    // aside (kept, with a notice), and the preferences work from the defaults.
    void preferencesFile_data()
    {
        QTest::addColumn<QString>("at"); // "file" or "lock"
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("keptAside");
        QTest::addRow("FIFO") << "file"
                              << "fifo" << 1;
        QTest::addRow("over 1 MiB") << "file"
                                    << "large" << 1;
        QTest::addRow("a link to a file, kept in place") << "file"
                                                         << "link" << 0;
        QTest::addRow("folder at the lock") << "lock"
                                            << "folder" << 0;
        QTest::addRow("dangling link at the lock") << "lock"
                                                   << "dangling" << 0;
        QTest::addRow("folder with contents at the lock") << "lock"
                                                          << "full" << 1;
    }
    void preferencesFile()
    {
        QFETCH(QString, at);
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("p.conf"));
        const QString placed = at == u"lock" ? path + QStringLiteral(".lock") : path;
        const QByteArray name = QFile::encodeName(placed);
        QFile file(dir.filePath(QStringLiteral("file")));
        QVERIFY(file.open(QIODevice::WriteOnly) &&
                file.resize(kind == u"large" ? (1 << 20) + 1 : 0));
        if (kind == u"fifo")
            QCOMPARE(::mkfifo(name.constData(), 0600), 0);
        else if (kind == u"large")
            QVERIFY(file.rename(placed));
        else if (kind == u"link" || kind == u"dangling")
            QVERIFY(
                QFile::link(kind == u"link" ? file.fileName() : QStringLiteral("gone"), placed));
        else
            QVERIFY(QDir().mkpath(kind == u"full" ? placed + QStringLiteral("/inside") : placed));

        const PreferencesFile preferences = PreferencesFile::prepare(path);
        QSettings settings(preferences.path, QSettings::IniFormat);
        QVERIFY(settings.allKeys().isEmpty());
        settings.setValue(QStringLiteral("key"), 1);
        settings.sync();
        QCOMPARE(settings.status(), QSettings::NoError);
        QFETCH(int, keptAside);
        QCOMPARE(preferences.notices.size(), keptAside);
        const QStringList aside{QFileInfo(placed).fileName() + QStringLiteral(".moved-*")};
        QCOMPARE(QDir(dir.path()).entryList(aside, QDir::AllEntries | QDir::System).size(),
                 keptAside);
    }
};

QTEST_GUILESS_MAIN(TestPreferencesFile)
#include "tst_preferencesfile.moc"
