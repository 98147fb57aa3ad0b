#include "displaytext.h"
#include "porturl.h"
#include "processcontrol.h"
#include "processdetails.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QTextDocument>

class TestDisplayText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void printable_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("shown");
        QTest::addRow("markup, accents and non-BMP kept")
            << QStringLiteral("<b>café</b>\U0001F600") << QStringLiteral("<b>café</b>\U0001F600");
        QTest::addRow("C0 controls")
            << QStringLiteral("a\nb\x1b]0;\x07") << QStringLiteral("a\uFFFDb\uFFFD]0;\uFFFD");
        QTest::addRow("C1, line separator, override and isolate")
            << QStringLiteral("a\u0085b\u2028c\u202Ed\u2067e")
            << QStringLiteral("a\uFFFDb\uFFFDc\uFFFDd\uFFFDe");
    }
    void printable()
    {
        QFETCH(QString, input);
        QTEST(printableText(input), "shown");
    }

    void toolTipShowsTextLiterally_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::addRow("markup and entity") << QStringLiteral("<b>x</b> <img src=x> a&amp;b")
                                           << QStringLiteral("<b>x</b> <img src=x> a&amp;b");
        const QString x100(100, QLatin1Char('x'));
        QTest::addRow("long line broken")
            << x100 + x100 + x100.left(50) << x100 + u'\n' + x100 + u'\n' + x100.left(50);
    }
    void toolTipShowsTextLiterally()
    {
        QFETCH(QString, text);
        const QString toolTip = plainTextToolTip(text);
        // QToolTip treats it as rich text, and the document it makes shows the text as given.
        QVERIFY(Qt::mightBeRichText(toolTip));
        QTextDocument document;
        document.setHtml(toolTip);
        QTEST(document.toPlainText(), "shown");
    }

    // Every shape of address the kernel reports, and where a browser goes for it.
    void browserUrl_data()
    {
        QTest::addColumn<QString>("address"); // the one listened on; empty: not known
        QTest::addColumn<qint64>("port");
        QTest::addColumn<QString>("url"); // empty: nothing to open
        QTest::addColumn<ListeningPort::Exposure>("exposure");
        using enum ListeningPort::Exposure;
        const auto row = [](const char* name, const char* address, qint64 port, const char* url,
                            ListeningPort::Exposure exposure) {
            QTest::addRow("%s", name) << address << port << url << exposure;
        };
        row("address not known", "", 3000, "http://localhost:3000", Unknown);
        row("negative", "", -1, "", Unknown);
        row("above 65535", "", 65536, "", Unknown);
        // Cut to 32 bits it would be port 80.
        row("beyond 32 bits", "", (qint64(1) << 32) + 80, "", Unknown);
        row("no host", "a b", 80, "", Specific);
        row("IPv4 any", "0.0.0.0", 80, "http://localhost:80", AllInterfaces);
        row("IPv4 loopback", "127.1.2.3", 80, "http://localhost:80", Loopback);
        row("IPv4 LAN", "192.168.1.5", 80, "http://192.168.1.5:80", Specific);
        row("IPv6 any", "::", 80, "http://localhost:80", AllInterfaces);
        row("IPv6 loopback", "::1", 80, "http://localhost:80", Loopback);
        row("IPv6 link-local, zoned", "fe80::1%eth0", 80, "http://[fe80::1%25eth0]:80", Specific);
        row("IPv6 global", "2001:db8::1", 80, "http://[2001:db8::1]:80", Specific);
        row("IPv4-mapped any", "::ffff:0.0.0.0", 80, "http://localhost:80", AllInterfaces);
        row("IPv4-mapped loopback", "::FFFF:127.0.0.1", 80, "http://localhost:80", Loopback);
        row("IPv4-mapped LAN", "::ffff:10.0.0.7", 80, "http://10.0.0.7:80", Specific);
        row("lsof's any", "*", 80, "http://localhost:80", AllInterfaces);
    }
    void browserUrl()
    {
        QFETCH(QString, address);
        QFETCH(qint64, port);
        const QStringList addresses = address.isEmpty() ? QStringList() : QStringList{address};
        const ListeningPort record(port, 7, QStringLiteral("x"), {}, addresses);
        const QUrl url = ::browserUrl(record);
        QTEST(url.isValid() ? url.toString() : QString(), "url");
        QTEST(record.exposure(), "exposure");
    }

    // Read from the record's process only: a pid that another process took (another start
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

QTEST_MAIN(TestDisplayText)
#include "tst_displaytext.moc"
