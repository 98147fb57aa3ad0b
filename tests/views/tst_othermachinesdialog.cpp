#include "othermachinesdialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>

class TestOtherMachinesDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Hosts typed and Return pressed in the field, one after another ('|' between).
    void typed_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("hosts"); // ticked, joined by commas
        QTest::addColumn<bool>("fault");
        QTest::addRow("a typed host is ticked") << "ann@lab-3" << "dev,ann@lab-3" << false;
        QTest::addRow("one that ssh would take for an option")
            << "-oProxyCommand=x" << "dev" << true;
        QTest::addRow("blanks") << "a b" << "dev" << true;
        QTest::addRow("a configured one, in another case, is ticked")
            << "B" << "dev,b" << false;
    }
    void typed()
    {
        QFETCH(QString, typed);
        QFETCH(QString, hosts);
        QFETCH(bool, fault);
        // Watched ones first; the configuration's "DEV" is the watched "dev".
        OtherMachinesDialog dialog({QStringLiteral("DEV"), QStringLiteral("b")},
                                   {QStringLiteral("dev")});
        dialog.show();
        auto* field = dialog.findChild<QLineEdit*>(QStringLiteral("hostField"));
        field->setFocus();
        for (const QString& host : typed.split(u'|')) {
            QTest::keyClicks(field, host);
            QTest::keyClick(field, Qt::Key_Return);
        }
        // Return added the host; it did not close the dialog.
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.hosts().join(u','), hosts);
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("hostFault"))->isVisible(), fault);
    }
};

QTEST_MAIN(TestOtherMachinesDialog)
#include "tst_othermachinesdialog.moc"
