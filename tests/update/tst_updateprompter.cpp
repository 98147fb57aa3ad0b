#include "messageboxalerts.h"
#include "recordingdesktopservices.h"
#include "updateprompter.h"
#include "updatesource.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

// Stands in for the update checker (Tidewatch 1.3; every check answers at once) and for
// the alerts, which it records and answers.
class TestUpdatePrompter : public QObject, UpdateSource, UpdateAlerts
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QSettings m_settings{m_dir.filePath(QStringLiteral("s.ini")), QSettings::IniFormat};
    RecordingDesktopServices m_desktop;
    UpdateCheckResult m_result; // what every check finds
    bool m_canCheck = true;
    bool m_download = false;
    mutable int m_checks = 0;
    UpdatePrompter* m_prompter = nullptr; // asked for a check inside every alert
    QStringList m_shown; // "MESSAGE | INFORMATIVE", with what was done before it showed

    QString appName() const override { return QStringLiteral("Tidewatch"); }
    QString currentVersion() const override { return QStringLiteral("1.3"); }
    bool canCheck() const override { return m_canCheck; }
    void check(Completion completion) const override
    {
        ++m_checks;
        completion(m_result);
    }
    bool showUpdateAvailable(const QString& message, const QString& informative) override
    {
        const QSettings onDisk(m_settings.fileName(), QSettings::IniFormat);
        const bool stored = onDisk.value(UpdatePrompter::seenKey()) == m_result.update->version;
        showMessage(Kind::Information, message, informative + (stored ? u" (stored)" : u""));
        return m_download;
    }
    void showMessage(Kind kind, const QString& message, const QString& informative) override
    {
        m_shown.append((kind == Kind::Warning ? u"! " : u"") + message + u" | " + informative);
        QCOMPARE(m_desktop.activateCalls, m_shown.size()); // brought to the front first
        if (m_prompter)
            m_prompter->checkNow(true);
    }

private Q_SLOTS:
    // First, while no check finds an update: the first check after the first delay and no
    // earlier, then one per interval; a second start() adds nothing; nothing shows. A
    // prompter whose source cannot check never checks on its own.
    void schedule()
    {
        m_canCheck = false;
        UpdatePrompter noFeed(*this, m_settings, *this, m_desktop, 0ms, 100ms);
        noFeed.start();
        m_canCheck = true;
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
        QCOMPARE(m_checks, 3);
    }

    // One check: the alerts, and what is stored (on disk before the alert shows). The user
    // answers Download to a check they asked for, Later to an automatic one. One check runs
    // at a time: the user's click comes during an automatic check and gets its answer, and
    // requests while an alert is up start nothing and stack no alert. Feed text shows
    // without control or bidi-override characters; words over 80 characters are broken,
    // notes cut to 12 lines or 800 characters, and the version to 40.
    void decisionTable_data()
    {
        QTest::addColumn<QString>("offered"); // the version found; empty: none; "!": failed
        QTest::addColumn<QString>("notes");
        QTest::addColumn<bool>("userInitiated");
        QTest::addColumn<QString>("stored"); // announced before
        QTest::addColumn<QStringList>("alerts");
        const QString none, v14 = QStringLiteral("1.4"), html = QStringLiteral("<b>New</b>");
        const auto offer = [](const QString& version, const QString& notes) {
            return QStringList{QStringLiteral("Tidewatch ") + version + u" is available | " +
                               notes + u"You're running 1.3. (stored)"};
        };
        const QStringList shown = offer(v14, html + u"\n\n");
        QTest::addRow("automatic") << v14 << html << false << none << shown;
        QTest::addRow("automatic, announced") << v14 << html << false << v14 << QStringList();
        QTest::addRow("automatic, compared as text, no notes")
            << QStringLiteral("1.4.0") << none << false << v14 << offer(u"1.4.0"_s, none);
        QTest::addRow("asked, announced") << v14 << html << true << v14 << shown;
        QTest::addRow("asked, the page won't open")
            << v14 << html << true << none
            << shown + QStringList{QStringLiteral("! Couldn't open the download page | Open this "
                                                  "address in a web browser:\nhttps://e.org/")};
        QTest::addRow("asked, up to date")
            << none << none << true << v14
            << QStringList{
                   QStringLiteral("You're up to date | Tidewatch 1.3 is the latest version.")};
        QTest::addRow("asked, failed")
            << QStringLiteral("!Refused\u202E.") << none << true << v14
            << QStringList{QStringLiteral("! Couldn't check for updates | Refused\uFFFD.")};
        QTest::addRow("automatic, failed")
            << QStringLiteral("!R") << none << false << v14 << QStringList();
        QTest::addRow("controls and overrides, line breaks kept")
            << QStringLiteral("1.4\u202E\n") << QStringLiteral("a\r\nb\x1b[2J\u2067c") << true
            << none << offer(u"1.4\uFFFD\uFFFD"_s, u"a\nb\uFFFD[2J\uFFFDc\n\n"_s);
        QTest::addRow("60 lines") << v14 << QStringLiteral("x\n").repeated(60) << true << none
                                  << offer(v14, QStringLiteral("x\n").repeated(12).chopped(1) +
                                                    u"…\n\n");
        QTest::addRow("long") << QString(50, u'1') << QString(800000, u'x') << true << none
                              << offer(QString(40, u'1') + u'…',
                                       QStringList(10, QString(80, u'x')).join(u'\n').left(800) +
                                           u"…\n\n");
    }
    void decisionTable()
    {
        QFETCH(QString, offered);
        QFETCH(QString, notes);
        QFETCH(bool, userInitiated);
        QFETCH(QString, stored);
        QFETCH(QStringList, alerts);
        m_settings.setValue(UpdatePrompter::seenKey(), stored); // empty: none announced
        m_result = {};
        if (offered.startsWith(u'!'))
            m_result.failure = offered.mid(1);
        else if (!offered.isEmpty())
            m_result.update = AppUpdate{offered, notes, QUrl(QStringLiteral("https://e.org/"))};
        m_download = userInitiated;
        m_shown.clear();
        m_desktop = {};
        m_desktop.opens = !QByteArray(QTest::currentDataTag()).endsWith("won't open");
        m_checks = 0;
        UpdatePrompter prompter(*this, m_settings, *this, m_desktop);
        m_prompter = &prompter;

        QSignalSpy finished(&prompter, &UpdatePrompter::checkFinished);
        prompter.checkNow(false);
        prompter.checkNow(userInitiated);
        QVERIFY(m_shown.isEmpty()); // never from inside the caller
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(m_checks, 1);
        m_prompter = nullptr;
        prompter.checkNow(false); // and the next check runs
        QTRY_COMPARE(finished.size(), 2);
        QCOMPARE(m_shown, alerts);
        const bool announced = alerts.value(0).endsWith(QLatin1String("(stored)"));
        QCOMPARE(m_settings.value(UpdatePrompter::seenKey()).toString(),
                 announced ? offered : stored);
        QCOMPARE(m_desktop.openedUrls,
                 announced && userInitiated ? QList{m_result.update->url} : QList<QUrl>());
    }

    // The real dialogs, answered from inside their modal loop: titled, wholly on the screen
    // even with 800 KB of notes, every text shown unchanged as plain text.
    void messageBoxes_data()
    {
        QTest::addColumn<QString>("press");       // a button's text, or empty to close the window
        QTest::addColumn<QString>("notes");       // for the informative text
        QTest::addColumn<QStringList>("buttons"); // in order, then the default and Escape
        const QString html =
            QStringLiteral("<a href=\"file:///etc/passwd\">notes</a><img src=\"x\">");
        const QStringList offer = {QStringLiteral("Download"), QStringLiteral("Later"),
                                   QStringLiteral("Download"), QStringLiteral("Later")};
        QTest::addRow("Download") << QStringLiteral("Download") << html << offer;
        QTest::addRow("window closed, 800 KB of notes")
            << QString()
            << QString(QString(100, u'x') + u" a b c d e f g h i j k l m n o p q r s t u v w\n")
                   .repeated(6000)
            << offer;
        QTest::addRow("message") << QStringLiteral("OK") << html
                                 << QStringList(3, QStringLiteral("OK"));
    }
    void messageBoxes()
    {
        QFETCH(QString, press);
        QFETCH(QString, notes);
        QFETCH(QStringList, buttons);
        const QString message = QStringLiteral("<b>Tidewatch</b> 1.4 is available");
        const QString informative = UpdatePrompter::updateAvailableInformative({{}, notes, {}}, {});
        QStringList seen;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            seen << box->windowTitle()
                 << QVariant(box->screen()->availableGeometry().contains(box->frameGeometry()))
                        .toString();
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
            alerts.showMessage(Kind::Warning, message, informative);
        else
            QCOMPARE(alerts.showUpdateAvailable(message, informative), !press.isEmpty());
        seen.removeAll(QString()); // the icon's label
        QCOMPARE(seen, QStringList({QApplication::applicationDisplayName(), QStringLiteral("true"),
                                    message, informative}) +
                           buttons);
    }
};

QTEST_MAIN(TestUpdatePrompter)
#include "tst_updateprompter.moc"
