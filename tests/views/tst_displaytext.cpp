#include "displaytext.h"
#include "porturl.h"
#include "processdetails.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTest>
#include <QTextDocument>

#include <unistd.h>

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
        QTest::addRow("C1 control") << QStringLiteral("a\u0085b") << QStringLiteral("a\uFFFDb");
        QTest::addRow("line separator") << QStringLiteral("a\u2028b") << QStringLiteral("a\uFFFDb");
        QTest::addRow("override and isolate")
            << QStringLiteral("a\u202Eb\u2067c") << QStringLiteral("a\uFFFDb\uFFFDc");
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
        QTest::addRow("lines kept") << QStringLiteral("node\nCommand: node a.js")
                                    << QStringLiteral("node\nCommand: node a.js");
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
        QVERIFY(!toolTip.contains(QStringLiteral("<b>")) &&
                !toolTip.contains(QStringLiteral("<img")));
    }

    void browserUrl_data()
    {
        QTest::addColumn<qint64>("port");
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<QString>("url"); // empty: nothing to open
        QTest::addRow("source did not say")
            << qint64(3000) << QStringList{} << QStringLiteral("http://localhost:3000");
        QTest::addRow("negative") << qint64(-1) << QStringList{} << QString();
        QTest::addRow("above 65535") << qint64(65536) << QStringList{} << QString();
        // Cut to 32 bits it would be port 80.
        QTest::addRow("beyond 32 bits") << (qint64(1) << 32) + 80 << QStringList{} << QString();
        QTest::addRow("one LAN address")
            << qint64(8080) << QStringList{QStringLiteral("192.168.1.5")}
            << QStringLiteral("http://192.168.1.5:8080");
        QTest::addRow("link-local IPv6 with zone")
            << qint64(8080) << QStringList{QStringLiteral("fe80::1%eth0")}
            << QStringLiteral("http://[fe80::1%25eth0]:8080");
        QTest::addRow("address no host can be")
            << qint64(8080) << QStringList{QStringLiteral("a b")} << QString();
        QTest::addRow("wildcard") << qint64(5000) << QStringList{QStringLiteral("0.0.0.0")}
                                  << QStringLiteral("http://localhost:5000");
        QTest::addRow("loopback") << qint64(5000) << QStringList{QStringLiteral("127.0.0.1")}
                                  << QStringLiteral("http://localhost:5000");
    }
    void browserUrl()
    {
        QFETCH(qint64, port);
        QFETCH(QStringList, addresses);
        const QUrl url = ::browserUrl(ListeningPort(port, 7, QStringLiteral("x"), {}, addresses));
        QTEST(url.isValid() ? url.toString() : QString(), "url");
    }

    void processDetails_data()
    {
        QTest::addColumn<qint32>("pid");
        QTest::addRow("this process") << qint32(::getpid());
        QTest::addRow("negative") << qint32(-1);
        QTest::addRow("not running") << std::numeric_limits<qint32>::max();
    }
    void processDetails()
    {
        QFETCH(qint32, pid);
        const ProcessDetails details = readProcessDetails(pid);
        if (pid != ::getpid()) {
            QVERIFY(details.commandLine.isEmpty() && details.workingFolder.isEmpty());
            return;
        }
        const QString program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        QVERIFY(details.commandLine.contains(program));
        QCOMPARE(details.workingFolder, QDir::currentPath());
    }
};

QTEST_MAIN(TestDisplayText)
#include "tst_displaytext.moc"
