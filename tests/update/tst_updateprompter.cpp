#include "cannedhttpserver.h"
#include "recordingdesktopservices.h"
#include "updatealerts.h"
#include "updatechecker.h"
#include "updateprompter.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

using namespace std::chrono_literals;

namespace {

QByteArray feedJson(const QString& version,
                    const QString& notes = QStringLiteral("Faster scanning"))
{
    return QStringLiteral("{\"version\": \"%1\", \"notes\": \"%2\", \"url\": "
                          "\"https://example.com/dl/%1\"}")
        .arg(version, notes)
        .toUtf8();
}

// Records the alerts instead of showing them, and answers the update alert in advance.
struct RecordingUpdateAlerts final : UpdateAlerts
{
    bool showUpdateAvailable(const QString& message, const QString& informative) override
    {
        record(QStringLiteral("update: ") + message, informative);
        return answerDownload;
    }
    void showUpToDate(const QString& message, const QString& informative) override
    {
        record(QStringLiteral("up to date: ") + message, informative);
    }
    void record(const QString& message, const QString& informative)
    {
        shown.append(message + QStringLiteral(" | ") + informative);
        if (whileShowing)
            whileShowing();
    }

    bool answerDownload = false;
    std::function<void()> whileShowing; // looks at what was done before an alert showed
    QStringList shown;                  // "update: MESSAGE | INFORMATIVE", "up to date: ..."
};

ApplicationInfo defaultInfo()
{
    ApplicationInfo info;
    info.name = QStringLiteral("Tidewatch");
    info.version = QStringLiteral("1.3");
    return info;
}

// One prompter with its stand-ins, a settings file of its own and a feed server.
struct Rig
{
    Rig(const QString& settingsPath, ApplicationInfo info = defaultInfo(), bool useServer = true)
        : settings(settingsPath, QSettings::IniFormat)
    {
        if (useServer)
            info.updateFeedUrl = server.url().toString();
        checker = std::make_unique<UpdateChecker>(info);
        prompter = std::make_unique<UpdatePrompter>(*checker, settings, alerts, desktop);
    }

    // Runs one check to its end.
    bool check(bool userInitiated)
    {
        QSignalSpy finished(prompter.get(), &UpdatePrompter::checkFinished);
        prompter->checkNow(userInitiated);
        return finished.wait(5000) && finished.size() == 1;
    }

    QVariant seen() const { return settings.value(UpdatePrompter::seenKey()); }

    CannedHttpServer server;
    QSettings settings;
    RecordingUpdateAlerts alerts;
    RecordingDesktopServices desktop;
    std::unique_ptr<UpdateChecker> checker;
    std::unique_ptr<UpdatePrompter> prompter;
};

} // namespace

class TestUpdatePrompter : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString settingsPath() const { return m_dir->filePath(QStringLiteral("settings.ini")); }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    // Whole checks: the alert (if any) with its texts, what is stored, and what is opened.
    void decisionTable_data()
    {
        QTest::addColumn<bool>("known");   // the application's name and version
        QTest::addColumn<QString>("feed"); // version offered; 1.3 is no update
        QTest::addColumn<QString>("notes");
        QTest::addColumn<bool>("userInitiated");
        QTest::addColumn<QVariant>("stored"); // invalid: nothing stored yet
        QTest::addColumn<bool>("download");   // the answer to the update alert
        QTest::addColumn<QString>("alert");
        QTest::addColumn<QVariant>("storedAfter");
        const QVariant none;
        const QString v13 = QStringLiteral("1.3");
        const QString v14 = QStringLiteral("1.4");
        const QString notes = QStringLiteral("Faster scanning");
        const QString available = QStringLiteral("update: Tidewatch 1.4 is available | ");
        const QString offer = available + QStringLiteral("Faster scanning\n\nYou're running 1.3.");
        QTest::addRow("asked") << true << v14 << notes << true << none << false << offer
                               << QVariant(v14);
        QTest::addRow("asked, no notes")
            << true << v14 << QString() << true << none << false
            << available + QStringLiteral("You're running 1.3.") << QVariant(v14);
        QTest::addRow("asked, white space counts as notes")
            << true << v14 << QStringLiteral("  ") << true << none << false
            << available + QStringLiteral("  \n\nYou're running 1.3.") << QVariant(v14);
        QTest::addRow("asked, unknown app")
            << false << v14 << QStringLiteral("<b>x</b>") << true << none << false
            << QStringLiteral("update: This app 1.4 is available | <b>x</b>\n\nYou're running 0.")
            << QVariant(v14);
        QTest::addRow("asked, already announced, Download")
            << true << v14 << notes << true << QVariant(v14) << true << offer << QVariant(v14);
        QTest::addRow("asked, up to date")
            << true << v13 << notes << true << QVariant(v14) << false
            << QStringLiteral(
                   "up to date: You're up to date | Tidewatch 1.3 is the latest version.")
            << QVariant(v14);
        QTest::addRow("asked, up to date, unknown app")
            << false << QStringLiteral("0") << notes << true << none << false
            << QStringLiteral("up to date: You're up to date | This app 0 is the latest version.")
            << none;
        QTest::addRow("automatic, nothing announced, Later")
            << true << v14 << notes << false << none << false << offer << QVariant(v14);
        QTest::addRow("automatic, already announced")
            << true << v14 << notes << false << QVariant(v14) << false << QString()
            << QVariant(v14);
        QTest::addRow("automatic, stored compared as text")
            << true << QStringLiteral("1.4.0") << QString() << false << QVariant(v14) << false
            << QStringLiteral("update: Tidewatch 1.4.0 is available | You're running 1.3.")
            << QVariant(QStringLiteral("1.4.0"));
        QTest::addRow("automatic, no update")
            << true << v13 << notes << false << none << false << QString() << none;
    }
    void decisionTable()
    {
        QFETCH(bool, known);
        QFETCH(QString, feed);
        QFETCH(QString, notes);
        QFETCH(bool, userInitiated);
        QFETCH(QVariant, stored);
        QFETCH(bool, download);
        QFETCH(QString, alert);
        QFETCH(QVariant, storedAfter);

        Rig rig(settingsPath(), known ? defaultInfo() : ApplicationInfo());
        if (stored.isValid())
            rig.settings.setValue(UpdatePrompter::seenKey(), stored);
        rig.server.respondWith(httpResponse(200, feedJson(feed, notes)));
        rig.alerts.answerDownload = download;
        QVariant storedWhileShowing;
        rig.alerts.whileShowing = [&] {
            storedWhileShowing = rig.seen();
            QCOMPARE(rig.desktop.activateCalls, 1); // brought to the front first
        };

        QVERIFY(rig.check(userInitiated));

        QCOMPARE(rig.alerts.shown, alert.isEmpty() ? QStringList() : QStringList{alert});
        QCOMPARE(rig.desktop.activateCalls, alert.isEmpty() ? 0 : 1);
        QCOMPARE(rig.seen(), storedAfter);
        if (alert.startsWith(QLatin1String("update")))
            QCOMPARE(storedWhileShowing, storedAfter);
        QCOMPARE(rig.desktop.openedUrls,
                 download ? QList{QUrl(QStringLiteral("https://example.com/dl/") + feed)}
                          : QList<QUrl>());
        // Written to the file at once, not only held in memory.
        QFile file(rig.settings.fileName());
        const QByteArray text = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        const QByteArray line = "lastNotifiedVersion=" + storedAfter.toString().toUtf8() + '\n';
        QCOMPARE(text.contains(line), storedAfter.isValid());
    }

    // "Later" still counts as told: after a restart, the next automatic check stays quiet.
    void laterThenAutomaticCheck()
    {
        {
            Rig rig(settingsPath());
            rig.server.respondWith(httpResponse(200, feedJson(QStringLiteral("1.4"))));
            QVERIFY(rig.check(false));
            QCOMPARE(rig.alerts.shown.size(), 1);
        }
        Rig restarted(settingsPath());
        restarted.server.respondWith(httpResponse(200, feedJson(QStringLiteral("1.4"))));
        QVERIFY(restarted.check(false));
        QVERIFY(restarted.alerts.shown.isEmpty());
    }

    // Without an address or a network, a check the user asked for still answers.
    void failuresLookUpToDate_data()
    {
        QTest::addColumn<bool>("withAddress");
        QTest::addRow("no feed address") << false;
        QTest::addRow("network down") << true;
    }
    void failuresLookUpToDate()
    {
        QFETCH(bool, withAddress);
        ApplicationInfo info = defaultInfo();
        if (withAddress)
            info.updateFeedUrl = CannedHttpServer().url().toString(); // closed at once
        Rig rig(settingsPath(), info, false);
        QVERIFY(rig.check(false));
        QVERIFY(rig.alerts.shown.isEmpty());
        QVERIFY(rig.check(true));
        QCOMPARE(rig.alerts.shown.size(), 1);
        QVERIFY(rig.alerts.shown.first().startsWith(QLatin1String("up to date: ")));
        QVERIFY(!rig.seen().isValid());
    }

    // By default 4 s, then daily. The first check comes after the first delay and no earlier,
    // then one per interval; a second start() adds nothing. Automatic checks that find nothing
    // show nothing.
    void schedule()
    {
        QSettings settings(settingsPath(), QSettings::IniFormat);
        RecordingUpdateAlerts alerts;
        RecordingDesktopServices desktop;
        const UpdateChecker checker{ApplicationInfo{}};
        QCOMPARE(UpdatePrompter(checker, settings, alerts, desktop).firstCheckDelay(), 4000ms);
        QCOMPARE(UpdatePrompter(checker, settings, alerts, desktop).checkInterval(), 86'400'000ms);
        UpdatePrompter prompter(checker, settings, alerts, desktop, 300ms, 700ms);
        QList<qint64> times;
        QElapsedTimer clock;
        connect(&prompter, &UpdatePrompter::checkFinished, this,
                [&] { times.append(clock.elapsed()); });

        clock.start();
        prompter.start();
        prompter.start();
        QTRY_COMPARE_WITH_TIMEOUT(times.size(), 3, 10000);
        QCOMPARE_GE(times.at(0), 300);
        QCOMPARE_GE(times.at(1), 700);
        QCOMPARE_GE(times.at(2), 1400);
        QVERIFY(alerts.shown.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestUpdatePrompter)
#include "tst_updateprompter.moc"
