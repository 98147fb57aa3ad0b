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

} // namespace

class TestMessageBoxAlerts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every label shows its text unchanged, as plain text; then the buttons in order.
    void boxes_data()
    {
        QTest::addColumn<bool>("available");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("informative");
        QTest::addColumn<QStringList>("buttons"); // the first is the default, the last Escape
        QTest::addRow("update available")
            << true << hostileMessage << hostileInformative
            << QStringList{QStringLiteral("Download"), QStringLiteral("Later")};
        QTest::addRow("up to date") << false << QStringLiteral("You're up to date")
                                    << QStringLiteral("<i>Tidewatch</i> 1.3 is the latest version.")
                                    << QStringList{QStringLiteral("OK")};
    }
    void boxes()
    {
        QFETCH(bool, available);
        QFETCH(QString, message);
        QFETCH(QString, informative);
        QFETCH(QStringList, buttons);
        const auto box = available ? MessageBoxAlerts::buildUpdateAvailable(message, informative)
                                   : MessageBoxAlerts::buildUpToDate(message, informative);
        QStringList shown;
        const QList<QLabel*> labels = box->findChildren<QLabel*>();
        for (const QLabel* label : labels) {
            if (label->text().isEmpty())
                continue;
            QCOMPARE(label->textFormat(), Qt::PlainText);
            QVERIFY(!label->openExternalLinks());
            shown.append(label->text());
        }
        QCOMPARE(shown.size(), 2);
        QVERIFY(shown.contains(message) && shown.contains(informative));
        QStringList texts;
        const QList<QAbstractButton*> boxButtons = box->buttons();
        for (const QAbstractButton* button : boxButtons)
            texts.append(button->text());
        QCOMPARE(texts, buttons);
        QCOMPARE(box->defaultButton()->text(), buttons.first());
        QCOMPARE(box->escapeButton()->text(), buttons.last());
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
