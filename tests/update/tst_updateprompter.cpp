#include "messageboxalerts.h"
#include "recordingdesktopservices.h"
#include "updateprompter.h"
#include "updatesource.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;

// Stands in for the update checker (Tidewatch 1.3; every check answers at once) and for the
// alerts, which it records and answers.
class TestUpdatePrompter : public QObject, UpdateSource, UpdateAlerts
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QSettings m_settings{m_dir.filePath(QStringLiteral("s.ini")), QSettings::IniFormat};
    RecordingDesktopServices m_desktop;
    std::optional<AppUpdate> m_update; // what every check finds
    bool m_download = false;
    QStringList m_shown; // "MESSAGE | INFORMATIVE", with what was done before it showed

    QString appName() const override { return QStringLiteral("Tidewatch"); }
    QString currentVersion() const override { return QStringLiteral("1.3"); }
    void check(Completion completion) const override { completion(m_update); }
    bool showUpdateAvailable(const QString& message, const QString& informative) override
    {
        QFile file(m_settings.fileName());
        const bool stored = file.open(QIODevice::ReadOnly) &&
                            file.readAll().contains(
                                QByteArray("lastNotifiedVersion=" + m_update->version.toUtf8()));
        showUpToDate(message, informative + (stored ? QStringLiteral(" (stored)") : QString()));
        return m_download;
    }
    void showUpToDate(const QString& message, const QString& informative) override
    {
        m_shown.append(message + QStringLiteral(" | ") + informative);
        QCOMPARE(m_desktop.activateCalls, 1); // brought to the front first
    }

private Q_SLOTS:
    // First, while no check finds an update: the first check after the first delay and no
    // earlier, then one per interval; a second start() adds nothing; nothing shows.
    void schedule()
    {
        UpdatePrompter prompter(*this, m_settings, *this, m_desktop, 300ms, 700ms);
        QList<qint64> times;
        QElapsedTimer clock;
        connect(&prompter, &UpdatePrompter::checkFinished, this,
                [&] { times.append(clock.elapsed()); });
        clock.start();
        prompter.start();
        prompter.start();
        QTRY_COMPARE_WITH_TIMEOUT(times.size(), 3, 10000);
        QVERIFY(times.at(0) >= 300 && times.at(1) >= 700 && times.at(2) >= 1400);
        QVERIFY(m_shown.isEmpty());
    }

    // One check: the alert (if any), and what is stored (on disk before the alert shows).
    // The user answers Download to a check they asked for, Later to an automatic one.
    void decisionTable_data()
    {
        QTest::addColumn<QString>("offered"); // the version found; empty: no update
        QTest::addColumn<bool>("userInitiated");
        QTest::addColumn<QString>("stored"); // announced before
        QTest::addColumn<QString>("alert");  // empty: none
        const QString none, v14 = QStringLiteral("1.4");
        const QString offer = QStringLiteral(
            "Tidewatch 1.4 is available | <b>New</b>\n\nYou're running 1.3. (stored)");
        QTest::addRow("automatic") << v14 << false << none << offer;
        QTest::addRow("automatic, announced") << v14 << false << v14 << none;
        QTest::addRow("automatic, compared as text, no notes")
            << QStringLiteral("1.4.0") << false << v14
            << QStringLiteral("Tidewatch 1.4.0 is available | You're running 1.3. (stored)");
        QTest::addRow("asked, announced") << v14 << true << v14 << offer;
        QTest::addRow("asked, up to date")
            << none << true << v14
            << QStringLiteral("You're up to date | Tidewatch 1.3 is the latest version.");
    }
    void decisionTable()
    {
        QFETCH(QString, offered);
        QFETCH(bool, userInitiated);
        QFETCH(QString, stored);
        QFETCH(QString, alert);
        m_settings.setValue(UpdatePrompter::seenKey(), stored); // empty: none announced
        const QString notes =
            offered == QLatin1String("1.4") ? QStringLiteral("<b>New</b>") : QString();
        m_update.reset();
        if (!offered.isEmpty())
            m_update = AppUpdate{offered, notes, QUrl(QStringLiteral("https://e.org/"))};
        m_download = userInitiated;
        m_shown.clear();
        m_desktop = {};
        UpdatePrompter prompter(*this, m_settings, *this, m_desktop);

        QSignalSpy finished(&prompter, &UpdatePrompter::checkFinished);
        prompter.checkNow(userInitiated);
        QVERIFY(m_shown.isEmpty()); // never from inside the caller
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(m_shown, alert.isEmpty() ? QStringList() : QStringList{alert});
        QCOMPARE(m_desktop.activateCalls, m_shown.size());
        const bool announced = alert.endsWith(QLatin1String("(stored)"));
        QCOMPARE(m_settings.value(UpdatePrompter::seenKey()).toString(),
                 announced ? offered : stored);
        QCOMPARE(m_desktop.openedUrls,
                 announced && userInitiated ? QList{m_update->url} : QList<QUrl>());
    }

    // The real dialogs, answered from inside their modal loop.
    void messageBoxes_data()
    {
        QTest::addColumn<QString>("press");       // a button's text, or empty to close the window
        QTest::addColumn<QStringList>("buttons"); // in order, then the default and Escape
        const QStringList offer = {QStringLiteral("Download"), QStringLiteral("Later"),
                                   QStringLiteral("Download"), QStringLiteral("Later")};
        QTest::addRow("Download") << QStringLiteral("Download") << offer;
        QTest::addRow("window closed") << QString() << offer;
        QTest::addRow("up to date") << QStringLiteral("OK") << QStringList(3, QStringLiteral("OK"));
    }
    void messageBoxes()
    {
        QFETCH(QString, press);
        QFETCH(QStringList, buttons);
        // The feed's text shows unchanged, as plain text.
        const QString message = QStringLiteral("<b>Tidewatch</b> 1.4 is available");
        const QString informative = QStringLiteral(
            "<a href=\"file:///etc/passwd\">notes</a><img src=\"x\">\n\nYou're running 1.3.");
        QStringList seen;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            const QList<QLabel*> labels = box->findChildren<QLabel*>();
            for (const QLabel* label : labels) {
                if (label->textFormat() == Qt::PlainText && !label->openExternalLinks())
                    seen.append(label->text());
            }
            QAbstractButton* pressed = nullptr;
            const QList<QAbstractButton*> boxButtons = box->buttons();
            for (QAbstractButton* button : boxButtons) {
                seen.append(button->text());
                pressed = button->text() == press ? button : pressed;
            }
            seen << box->defaultButton()->text() << box->escapeButton()->text();
            pressed ? pressed->click() : void(box->close());
        });
        MessageBoxAlerts alerts;
        if (buttons.size() == 3)
            alerts.showUpToDate(message, informative);
        else
            QCOMPARE(alerts.showUpdateAvailable(message, informative), !press.isEmpty());
        seen.removeAll(QString()); // the icon's label
        QCOMPARE(seen, QStringList({message, informative}) + buttons);
    }
};

QTEST_MAIN(TestUpdatePrompter)
#include "tst_updateprompter.moc"
