#include "processcontrol.h"
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
    // Read from the process a scan saw only: a pid that another process took (another start
    // time) gives nothing.
    void processDetails()
    {
        const auto details = ProcessDetailsProvider::platform();
        // The process at pid as a scan saw it, or as if it had started later.
        const auto seen = [](qint64 pid, quint64 laterStart = 0) {
            const auto process = ProcessControl::platform()->open(qint32(pid));
            ProcessIdentity identity =
                process ? process->identity() : ProcessIdentity{qint32(pid), {}, 0};
            identity.startTime += laterStart;
            return identity;
        };
        const ProcessDetails own =
            details->read(seen(QCoreApplication::applicationPid()), CommandLineLength::Summary);
        QVERIFY(own.commandLine.contains(
            QFileInfo(QCoreApplication::applicationFilePath()).fileName()));
        QCOMPARE(own.workingFolder, QDir::currentPath());
        for (const qint32 pid : {-1, 0, std::numeric_limits<qint32>::max()}) {
            const ProcessDetails none = details->read(seen(pid), CommandLineLength::Whole);
            QVERIFY(none.commandLine.isEmpty() && none.workingFolder.isEmpty());
        }
        // An argument can't add a line of its own to the tooltip, nor a huge one fill it.
        QProcess child;
        child.start(QStringLiteral("/bin/sh"),
                    {QStringLiteral("-c"), QStringLiteral("read x"),
                     QStringLiteral("Folder: forged\nnext") + QString(5000, u'w')});
        QVERIFY(child.waitForStarted());
        const ProcessIdentity childSeen = seen(child.processId());
        // Until the child has run exec, its command line is still ours.
        QString line;
        QTRY_VERIFY((line = details->read(childSeen, CommandLineLength::Summary).commandLine)
                        .contains(QLatin1String("forged")));
        QVERIFY(line.contains(QLatin1String("forged\\nnext")) && !line.contains(u'\n'));
        QVERIFY(line.size() <= 1001);
        // Copied, it is whole.
        QVERIFY(details->read(childSeen, CommandLineLength::Whole)
                    .commandLine.endsWith(QString(5000, u'w') + u'\''));
        const ProcessDetails newcomers =
            details->read(seen(child.processId(), 1), CommandLineLength::Whole);
        QVERIFY(newcomers.commandLine.isEmpty() && newcomers.workingFolder.isEmpty());
        child.kill();
        child.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestProcessDetails)
#include "tst_processdetails.moc"
