#include "displaytext.h"
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
