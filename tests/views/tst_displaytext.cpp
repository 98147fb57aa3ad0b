#include "displaytext.h"
#include "portlistmodel.h"

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

    // In the user's locale (German here) and time zone; the date once it was not today.
    void runningSince_data()
    {
        QTest::addColumn<QDateTime>("started");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QString>("text");
        const QDateTime at(QDate(2026, 12, 7), QTime(9, 14), Qt::LocalTime);
        QTest::addRow("hours") << at << at.addSecs(2 * 3600 + 3 * 60 + 59)
                               << QStringLiteral("Running since 09:14 (2 h 3 min)");
        QTest::addRow("under a minute")
            << at << at.addSecs(59) << QStringLiteral("Running since 09:14 (0 min)");
        QTest::addRow("days, with the date")
            << at.addDays(-2) << at.addSecs(3600)
            << QStringLiteral("Running since 05.12.26 09:14 (2 d 1 h)");
    }
    void runningSince()
    {
        QFETCH(QDateTime, started);
        QFETCH(QDateTime, now);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QTEST(PortListModel::runningSinceText(started.toUTC(), now.toUTC()), "text");
        QLocale::setDefault(QLocale::c());
    }
};

QTEST_MAIN(TestDisplayText)
#include "tst_displaytext.moc"
