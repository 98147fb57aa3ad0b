#include "processdetails.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

class TestProcessDetails : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void processDetails()
    {
        const ProcessDetails own = readProcessDetails(qint32(QCoreApplication::applicationPid()));
        QVERIFY(own.commandLine.contains(
            QFileInfo(QCoreApplication::applicationFilePath()).fileName()));
        QCOMPARE(own.workingFolder, QDir::currentPath());
        for (const qint32 pid : {-1, 0, std::numeric_limits<qint32>::max()}) {
            const ProcessDetails none = readProcessDetails(pid);
            QVERIFY(none.commandLine.isEmpty() && none.workingFolder.isEmpty());
        }
        // An argument can't add a line of its own to the tooltip, nor a huge one fill it.
        QProcess child;
        child.start(QStringLiteral("/bin/sh"),
                    {QStringLiteral("-c"), QStringLiteral("read x"),
                     QStringLiteral("Folder: forged\nnext") + QString(5000, u'w')});
        QVERIFY(child.waitForStarted());
        // Until the child has run exec, its command line is still ours.
        QString line;
        QTRY_VERIFY((line = readProcessDetails(qint32(child.processId())).commandLine)
                        .contains(QLatin1String("forged")));
        QVERIFY(line.contains(QLatin1String("forged\\nnext")) && !line.contains(u'\n'));
        QVERIFY(line.size() <= 1001);
        // Copied, it is whole.
        QVERIFY(readProcessDetails(qint32(child.processId()), CommandLineLength::Whole)
                    .commandLine.endsWith(QString(5000, u'w') + u'\''));
        child.kill();
        child.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestProcessDetails)
#include "tst_processdetails.moc"
