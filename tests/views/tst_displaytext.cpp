#include "displaytext.h"

#include <QTest>
#include <QTextDocument>

class TestDisplayText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
};

QTEST_MAIN(TestDisplayText)
#include "tst_displaytext.moc"
