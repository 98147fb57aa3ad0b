#include "messageboxalerts.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

const QString hostileMessage = QStringLiteral("<b>Tidewatch</b> 1.4 is available");
const QString hostileInformative = QStringLiteral(
    "<a href=\"file:///etc/passwd\">notes</a><img src=\"x\">\n\nYou're running 1.3.");

QStringList buttonTexts(const QMessageBox& box)
{
    QStringList texts;
    const QList<QAbstractButton*> buttons = box.buttons();
    for (const QAbstractButton* button : buttons)
        texts.append(button->text());
    return texts;
}

// Every label that shows text does so as plain text, and shows it unchanged.
void verifyPlainText(const QMessageBox& box, const QString& message, const QString& informative)
{
    QStringList shown;
    const QList<QLabel*> labels = box.findChildren<QLabel*>();
    for (const QLabel* label : labels) {
        if (label->text().isEmpty())
            continue;
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QVERIFY(!label->openExternalLinks());
        shown.append(label->text());
    }
    shown.sort();
    QStringList expected{message, informative};
    expected.sort();
    QCOMPARE(shown, expected);
}

} // namespace

class TestMessageBoxAlerts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void updateAvailableBox()
    {
        const auto box = MessageBoxAlerts::buildUpdateAvailable(hostileMessage, hostileInformative);
        verifyPlainText(*box, hostileMessage, hostileInformative);
        QCOMPARE(buttonTexts(*box),
                 (QStringList{QStringLiteral("Download"), QStringLiteral("Later")}));
        QCOMPARE(box->defaultButton()->text(), QStringLiteral("Download"));
        QCOMPARE(box->escapeButton()->text(), QStringLiteral("Later"));
    }

    void upToDateBox()
    {
        const QString message = QStringLiteral("You're up to date");
        const QString informative = QStringLiteral("<i>Tidewatch</i> 1.3 is the latest version.");
        const auto box = MessageBoxAlerts::buildUpToDate(message, informative);
        verifyPlainText(*box, message, informative);
        QCOMPARE(buttonTexts(*box), QStringList{QStringLiteral("OK")});
        QCOMPARE(box->defaultButton()->text(), QStringLiteral("OK"));
    }

    // The answer as the user gives it in the real dialog.
    void answer_data()
    {
        QTest::addColumn<QString>("press"); // a button's text, or empty to close the window
        QTest::addColumn<bool>("download");
        QTest::addRow("Download") << QStringLiteral("Download") << true;
        QTest::addRow("Later") << QStringLiteral("Later") << false;
        QTest::addRow("window closed") << QString() << false;
    }
    void answer()
    {
        QFETCH(QString, press);
        QFETCH(bool, download);
        bool answered = false;
        // Runs inside the dialog's modal loop, once the box is up.
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            answered = true;
            if (press.isEmpty()) {
                box->close();
                return;
            }
            const QList<QAbstractButton*> buttons = box->buttons();
            for (QAbstractButton* button : buttons) {
                if (button->text() == press)
                    button->click();
            }
        });
        MessageBoxAlerts alerts;
        QCOMPARE(alerts.showUpdateAvailable(hostileMessage, hostileInformative), download);
        QVERIFY(answered);
    }
};

QTEST_MAIN(TestMessageBoxAlerts)
#include "tst_messageboxalerts.moc"
