#include "cannedhttpserver.h"
#include "recordingdesktopservices.h"
#include "recordingupdatealerts.h"
#include "updatechecker.h"
#include "updateprompter.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

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

// One prompter with its stand-ins, a settings file of its own and a feed server.
struct Rig
{
    explicit Rig(const QString& settingsPath, ApplicationInfo info = defaultInfo())
        : settings(settingsPath, QSettings::IniFormat)
    {
        if (info.updateFeedUrl == QLatin1String("server"))
            info.updateFeedUrl = server.url().toString();
        checker = std::make_unique<UpdateChecker>(info);
        prompter = std::make_unique<UpdatePrompter>(*checker, settings, alerts, desktop);
    }

    static ApplicationInfo defaultInfo()
    {
        ApplicationInfo info;
        info.name = QStringLiteral("Tidewatch");
        info.version = QStringLiteral("1.3");
        info.updateFeedUrl = QStringLiteral("server");
        return info;
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

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    // Whole checks through the alerts, with and without the application's name and version.
    void alertTexts_data()
    {
        QTest::addColumn<bool>("known");
        QTest::addColumn<QString>("feed"); // "1.3" is not newer: up to date
        QTest::addColumn<QString>("notes");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("informative");
        const QString available = QStringLiteral("Tidewatch 1.4 is available");
        const QString v14 = QStringLiteral("1.4");
        QTest::addRow("update") << true << v14 << QStringLiteral("Faster scanning") << available
                                << QStringLiteral("Faster scanning\n\nYou're running 1.3.");
        QTest::addRow("no notes") << true << v14 << QString() << available
                                  << QStringLiteral("You're running 1.3.");
        QTest::addRow("white space counts as notes")
            << true << v14 << QStringLiteral("  ") << available
            << QStringLiteral("  \n\nYou're running 1.3.");
        QTest::addRow("update, unknown app") << false << v14 << QStringLiteral("<b>x</b>")
                                             << QStringLiteral("This app 1.4 is available")
                                             << QStringLiteral("<b>x</b>\n\nYou're running 0.");
        QTest::addRow("up to date")
            << true << QStringLiteral("1.3") << QString() << QStringLiteral("You're up to date")
            << QStringLiteral("Tidewatch 1.3 is the latest version.");
        QTest::addRow("up to date, unknown app")
            << false << QStringLiteral("0") << QString() << QStringLiteral("You're up to date")
            << QStringLiteral("This app 0 is the latest version.");
    }
    void alertTexts()
    {
        QFETCH(bool, known);
        QFETCH(QString, feed);
        QFETCH(QString, notes);
        QFETCH(QString, message);
        QFETCH(QString, informative);
        ApplicationInfo info = Rig::defaultInfo();
        if (!known) {
            info.name.clear();
            info.version.clear();
        }
        Rig rig(m_dir->filePath(QStringLiteral("settings.ini")), info);
        rig.server.respondWith(httpResponse(200, feedJson(feed, notes)));
        QVERIFY(rig.check(true));
        const bool hasUpdate = feed == QLatin1String("1.4");
        const QList<RecordingUpdateAlerts::Shown>& shown =
            hasUpdate ? rig.alerts.updateAlerts : rig.alerts.upToDateAlerts;
        QCOMPARE(rig.alerts.updateAlerts.size() + rig.alerts.upToDateAlerts.size(), 1);
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().message, message);
        QCOMPARE(shown.first().informative, informative);
    }

    void decisionTable_data()
    {
        QTest::addColumn<QString>("feed"); // version offered; empty: the check finds nothing
        QTest::addColumn<bool>("userInitiated");
        QTest::addColumn<QVariant>("stored"); // invalid: nothing stored yet
        QTest::addColumn<QString>("alert");   // "update", "up to date" or empty
        QTest::addColumn<QVariant>("storedAfter");
        const QVariant none;
        const QVariant v14 = QStringLiteral("1.4");
        const QString update = QStringLiteral("update");
        const QString upToDate = QStringLiteral("up to date");
        QTest::addRow("automatic, already announced")
            << QStringLiteral("1.4") << false << v14 << QString() << v14;
        QTest::addRow("automatic, nothing announced")
            << QStringLiteral("1.4") << false << none << update << v14;
        QTest::addRow("automatic, another announced")
            << QStringLiteral("1.4") << false << QVariant(QStringLiteral("1.3.9")) << update << v14;
        QTest::addRow("automatic, stored compared as text")
            << QStringLiteral("1.4.0") << false << v14 << update
            << QVariant(QStringLiteral("1.4.0"));
        QTest::addRow("asked, already announced")
            << QStringLiteral("1.4") << true << v14 << update << v14;
        QTest::addRow("asked, nothing announced")
            << QStringLiteral("1.4") << true << none << update << v14;
        QTest::addRow("asked, no update") << QString() << true << v14 << upToDate << v14;
        QTest::addRow("automatic, no update") << QString() << false << v14 << QString() << v14;
    }
    void decisionTable()
    {
        QFETCH(QString, feed);
        QFETCH(bool, userInitiated);
        QFETCH(QVariant, stored);
        QFETCH(QString, alert);
        QFETCH(QVariant, storedAfter);

        Rig rig(m_dir->filePath(QStringLiteral("settings.ini")));
        if (stored.isValid())
            rig.settings.setValue(UpdatePrompter::seenKey(), stored);
        // "Nothing" here is a feed that is not newer than the running 1.3.
        rig.server.respondWith(
            httpResponse(200, feedJson(feed.isEmpty() ? QStringLiteral("1.3") : feed)));
        QVariant storedWhileShowing;
        rig.alerts.whileShowing = [&] {
            storedWhileShowing = rig.seen();
            QCOMPARE(rig.desktop.activateCalls, 1);
        };

        QVERIFY(rig.check(userInitiated));

        const bool showsUpdate = alert == QLatin1String("update");
        const bool showsUpToDate = alert == QLatin1String("up to date");
        QCOMPARE(rig.alerts.updateAlerts.size(), showsUpdate ? 1 : 0);
        QCOMPARE(rig.alerts.upToDateAlerts.size(), showsUpToDate ? 1 : 0);
        QCOMPARE(rig.desktop.activateCalls, alert.isEmpty() ? 0 : 1);
        QCOMPARE(rig.seen(), storedAfter);
        if (showsUpdate)
            QCOMPARE(storedWhileShowing, storedAfter);
        QVERIFY(rig.desktop.openedUrls.isEmpty());
        // Written to the file at once, not only held in memory.
        QFile file(rig.settings.fileName());
        const QByteArray text = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        const QByteArray line = "lastNotifiedVersion=" + storedAfter.toString().toUtf8() + '\n';
        QCOMPARE(text.contains(line), storedAfter.isValid());
    }

    // Without an address or a network, a check the user asked for still answers.
    void failuresLookUpToDate_data()
    {
        QTest::addColumn<QString>("feedUrl");
        QTest::addRow("no feed address") << QString();
        QTest::addRow("network down") << QStringLiteral("refused");
    }
    void failuresLookUpToDate()
    {
        QFETCH(QString, feedUrl);
        ApplicationInfo info = Rig::defaultInfo();
        info.updateFeedUrl = feedUrl;
        if (feedUrl == QLatin1String("refused")) {
            CannedHttpServer closed;
            info.updateFeedUrl = closed.url().toString();
        }
        Rig rig(m_dir->filePath(QStringLiteral("settings.ini")), info);
        rig.server.respondWith(httpResponse(404, "<html>Not Found</html>"));
        QVERIFY(rig.check(false));
        QVERIFY(rig.alerts.upToDateAlerts.isEmpty());
        QVERIFY(rig.check(true));
        QCOMPARE(rig.alerts.upToDateAlerts.size(), 1);
        QVERIFY(rig.alerts.updateAlerts.isEmpty());
        QVERIFY(!rig.seen().isValid());
    }

    void downloadOpensTheUrl_data()
    {
        QTest::addColumn<bool>("download");
        QTest::addRow("Download") << true;
        QTest::addRow("Later") << false;
    }
    void downloadOpensTheUrl()
    {
        QFETCH(bool, download);
        Rig rig(m_dir->filePath(QStringLiteral("settings.ini")));
        rig.server.respondWith(httpResponse(200, feedJson(QStringLiteral("1.4"))));
        rig.alerts.answerDownload = download;
        QVERIFY(rig.check(true));
        QCOMPARE(rig.alerts.updateAlerts.size(), 1);
        QCOMPARE(rig.desktop.openedUrls,
                 download ? QList<QUrl>{QUrl(QStringLiteral("https://example.com/dl/1.4"))}
                          : QList<QUrl>{});
        QCOMPARE(rig.seen(), QVariant(QStringLiteral("1.4")));
    }

    // "Later" still counts as told: the next automatic check stays quiet about that
    // version, also after a restart, while a newer one is announced.
    void laterThenAutomaticChecks()
    {
        const QString path = m_dir->filePath(QStringLiteral("settings.ini"));
        {
            Rig rig(path);
            rig.server.respondWith(httpResponse(200, feedJson(QStringLiteral("1.4"))));
            rig.alerts.answerDownload = false;
            QVERIFY(rig.check(false));
            QCOMPARE(rig.alerts.updateAlerts.size(), 1);
            QVERIFY(rig.check(false));
            QCOMPARE(rig.alerts.updateAlerts.size(), 1);
        }
        Rig restarted(path);
        restarted.server.respondWith(httpResponse(200, feedJson(QStringLiteral("1.4"))));
        QVERIFY(restarted.check(false));
        QVERIFY(restarted.alerts.updateAlerts.isEmpty());

        restarted.server.respondWith(httpResponse(200, feedJson(QStringLiteral("1.5"))));
        QVERIFY(restarted.check(false));
        QCOMPARE(restarted.alerts.updateAlerts.size(), 1);
        QCOMPARE(restarted.alerts.updateAlerts.first().message,
                 QStringLiteral("Tidewatch 1.5 is available"));
        QCOMPARE(restarted.seen(), QVariant(QStringLiteral("1.5")));
    }

    // By default 4 s, then daily. The first check comes after the first delay and no earlier, then
    // one per interval; a second start() adds nothing. Automatic checks that find nothing show
    // nothing.
    void schedule()
    {
        QSettings settings(m_dir->filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
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
        QVERIFY(!prompter.isStarted());
        prompter.start();
        prompter.start();
        QTRY_COMPARE_WITH_TIMEOUT(times.size(), 3, 10000);
        QCOMPARE_GE(times.at(0), 300);
        QCOMPARE_GE(times.at(1), 700);
        QCOMPARE_GE(times.at(2), 1400);
        QVERIFY(alerts.updateAlerts.isEmpty());
        QVERIFY(alerts.upToDateAlerts.isEmpty());
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(TestUpdatePrompter)
#include "tst_updateprompter.moc"
