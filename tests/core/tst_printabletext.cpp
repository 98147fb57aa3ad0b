#include "printabletext.h"

#include <QTest>

class TestPrintableText : public QObject
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
};

QTEST_APPLESS_MAIN(TestPrintableText)
#include "tst_printabletext.moc"
