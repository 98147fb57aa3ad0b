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
        QTest::addRow("plain") << QStringLiteral("node") << QStringLiteral("node");
        QTest::addRow("markup untouched")
            << QStringLiteral("<b>x</b>") << QStringLiteral("<b>x</b>");
        QTest::addRow("newline") << QStringLiteral("a\nb") << QStringLiteral("a\uFFFDb");
        QTest::addRow("escape and bell")
            << QStringLiteral("\x1b]0;\x07") << QStringLiteral("\uFFFD]0;\uFFFD");
        QTest::addRow("C1 control") << QStringLiteral("a\u0085b") << QStringLiteral("a\uFFFDb");
        QTest::addRow("line separator") << QStringLiteral("a\u2028b") << QStringLiteral("a\uFFFDb");
        QTest::addRow("right-to-left override")
            << QStringLiteral("a\u202Eb") << QStringLiteral("a\uFFFDb");
        QTest::addRow("isolate") << QStringLiteral("a\u2067b") << QStringLiteral("a\uFFFDb");
        QTest::addRow("non-BMP kept")
            << QStringLiteral("a\U0001F600b") << QStringLiteral("a\U0001F600b");
        QTest::addRow("accents kept") << QStringLiteral("café") << QStringLiteral("café");
    }
    void printable()
    {
        QFETCH(QString, input);
        QFETCH(QString, shown);
        QCOMPARE(printableText(input), shown);
    }

    void toolTipShowsTextLiterally_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::addRow("markup") << QStringLiteral("<b>x</b> <img src=x>")
                                << QStringLiteral("<b>x</b> <img src=x>");
        QTest::addRow("entity") << QStringLiteral("a&amp;b") << QStringLiteral("a&amp;b");
        QTest::addRow("lines kept") << QStringLiteral("node\nCommand: node a.js")
                                    << QStringLiteral("node\nCommand: node a.js");
        QTest::addRow("long line broken")
            << QString(250, QLatin1Char('x'))
            << QString(100, QLatin1Char('x')) + QLatin1Char('\n') + QString(100, QLatin1Char('x')) +
                   QLatin1Char('\n') + QString(50, QLatin1Char('x'));
    }
    void toolTipShowsTextLiterally()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        const QString toolTip = plainTextToolTip(text);
        // QToolTip treats it as rich text, and the document it makes shows the text as given.
        QVERIFY(Qt::mightBeRichText(toolTip));
        QTextDocument document;
        document.setHtml(toolTip);
        QCOMPARE(document.toPlainText(), shown);
        QVERIFY(!toolTip.contains(QStringLiteral("<b>")));
        QVERIFY(!toolTip.contains(QStringLiteral("<img")));
    }

    void detailsOfThisProcess()
    {
        const ProcessDetails details = readProcessDetails(qint32(::getpid()));
        QVERIFY(details.commandLine.contains(
            QFileInfo(QCoreApplication::applicationFilePath()).fileName()));
        QCOMPARE(details.workingFolder, QDir::currentPath());
    }

    void detailsOfNoProcess_data()
    {
        QTest::addColumn<qint32>("pid");
        QTest::addRow("zero") << qint32(0);
        QTest::addRow("negative") << qint32(-1);
        QTest::addRow("not running") << qint32(std::numeric_limits<qint32>::max());
    }
    void detailsOfNoProcess()
    {
        QFETCH(qint32, pid);
        const ProcessDetails details = readProcessDetails(pid);
        QVERIFY(details.commandLine.isEmpty());
        QVERIFY(details.workingFolder.isEmpty());
    }
};

QTEST_MAIN(TestDisplayText)
#include "tst_displaytext.moc"
