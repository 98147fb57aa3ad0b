#include "cannedhttpserver.h"
#include "updatechecker.h"

#include <QElapsedTimer>
#include <QTest>

#include <memory>

using namespace std::chrono_literals;

namespace {

ApplicationInfo infoWithFeed(const QUrl& feed)
{
    ApplicationInfo info;
    info.name = QStringLiteral("Tidewatch");
    info.version = QStringLiteral("1.3");
    info.updateFeedUrl = feed.toString();
    return info;
}

QByteArray feedJson(const QString& version, const QString& url)
{
    return QStringLiteral("{\"version\": \"%1\", \"notes\": \"Faster scanning\", \"url\": \"%2\"}")
        .arg(version, url)
        .toUtf8();
}

const QByteArray validFeed =
    feedJson(QStringLiteral("1.4"), QStringLiteral("https://example.com/dl"));

// Counts completions and keeps the last result.
struct Results
{
    int calls = 0;
    std::optional<AppUpdate> last;

    UpdateChecker::Completion completion()
    {
        return [this](const std::optional<AppUpdate>& update) {
            ++calls;
            last = update;
        };
    }
};

} // namespace

class TestUpdateChecker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void isNewer_data()
    {
        QTest::addColumn<QString>("candidate");
        QTest::addColumn<QString>("running");
        QTest::addColumn<bool>("newer");
        const auto row = [](const char* candidate, const char* running, bool newer) {
            QTest::addRow("%s vs %s", candidate, running)
                << QString::fromUtf8(candidate) << QString::fromUtf8(running) << newer;
        };
        row("1.10", "1.9", true);
        row("2.0", "2", false);
        row("2", "2.0", false);
        row("1.0.1", "1.0", true);
        row("1.0", "1.0.1", false);
        row("1.2-beta", "1.1", false);
        row("1.2", "1.2-beta", true);
        row("v2.0", "1.9", false);
        row("1..3", "1.2", true);
        row("01.5", "1.4", true);
        row("1.0", "0", true);
        row("", "0", false);
        // Signs, overflow and non-ASCII digits.
        row("+2", "1", true);
        row("1.-1", "1", false);
        row("", "-1", true);
        row("--2", "1", false);
        row("\u0662", "1", false);
        row("9223372036854775807", "9223372036854775806", true);
        row("9223372036854775808", "1", false);
    }
    void isNewer()
    {
        QFETCH(QString, candidate);
        QFETCH(QString, running);
        QFETCH(bool, newer);
        QCOMPARE(UpdateChecker::isNewer(candidate, running), newer);
    }

    // A response body against the running 1.3: decoding, the version test, then the address.
    void updateFromBody_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("url"); // empty: no update
        QTest::addColumn<QString>("notes");
        // ' stands for " in the bodies.
        const auto row = [](const char* what, const char* body, const char* url = "",
                            const char* notes = "") {
            QTest::addRow("%s", what) << QByteArray(body).replace('\'', '"')
                                      << QString::fromUtf8(url) << QString::fromUtf8(notes);
        };
        const char* e = "https://e.org/";
        row("all three", validFeed.constData(), "https://example.com/dl", "Faster scanning");
        row("notes absent", "{'version':'1.4','url':'https://e.org/'}", e);
        row("notes null", "{'version':'1.4','notes':null,'url':'https://e.org/'}", e);
        row("other members ignored", "{'version':'1.4','url':'https://e.org/','x':[1]}", e);
        row("scheme in capitals", "{'version':'1.4','url':'HTTP://e.org/'}", "http://e.org/");
        row("notes a number", "{'version':'1.4','notes':3,'url':'https://e.org/'}");
        row("version a number", "{'version':1.4,'url':'https://e.org/'}");
        row("url missing", "{'version':'1.4'}");
        row("keys are case-sensitive", "{'Version':'1.4','url':'https://e.org/'}");
        row("top level an array", "[{'version':'1.4','url':'https://e.org/'}]");
        row("not JSON", "<html>Not Found</html>");
        row("garbage after the object", "{'version':'1.4','url':'https://e.org/'} x");
        row("same version", "{'version':'1.3','url':'https://e.org/'}");
        row("url with a space", "{'version':'1.4','url':'https://e.org/a b'}");
        row("file url", "{'version':'1.4','url':'file:///etc/passwd'}");
        row("javascript url", "{'version':'1.4','url':'javascript:alert(1)'}");
        row("relative reference", "{'version':'1.4','url':'downloads/tidewatch'}");
        row("http without a host", "{'version':'1.4','url':'http:download'}");
    }
    void updateFromBody()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, url);
        QFETCH(QString, notes);
        const auto update = UpdateChecker::updateFromBody(body, QStringLiteral("1.3"));
        QCOMPARE(update.has_value(), !url.isEmpty());
        if (update)
            QCOMPARE(*update, (AppUpdate{QStringLiteral("1.4"), notes, QUrl(url)}));
    }

    void fallbacks()
    {
        const UpdateChecker bare{ApplicationInfo{}};
        QCOMPARE(bare.appName(), QStringLiteral("This app"));
        QCOMPARE(bare.currentVersion(), QStringLiteral("0"));
        QVERIFY(!bare.feedUrl());
        QCOMPARE(bare.transferTimeout(), 15s);
        QVERIFY(
            !UpdateChecker(infoWithFeed(QUrl(QStringLiteral("http://exa mple.com")))).feedUrl());

        // No address: the completion runs before check() returns.
        Results results;
        bare.check(results.completion());
        QCOMPARE(results.calls, 1);
        QVERIFY(!results.last);
    }

    // Against a loopback server that closes after its answer, stalls after it, or is gone.
    void fetch_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<bool>("update");
        const QString closes = QStringLiteral("closes");
        const QString stalls = QStringLiteral("stalls");
        QTest::addRow("valid feed") << closes << httpResponse(200, validFeed) << true;
        QTest::addRow("404 with a valid feed") << closes << httpResponse(404, validFeed) << true;
        QTest::addRow("ends with the connection")
            << closes << httpResponse(200, validFeed, false) << true;
        QTest::addRow("not JSON") << closes << httpResponse(200, "<html>Moved</html>") << false;
        QTest::addRow("file: download url")
            << closes
            << httpResponse(200,
                            feedJson(QStringLiteral("1.4"), QStringLiteral("file:///etc/passwd")))
            << false;
        // Short of the promised length: what came is not the answer, though a whole feed.
        QByteArray cut = httpResponse(200, validFeed + "    ");
        cut.chop(4);
        QTest::addRow("cut short") << closes << cut << false;
        QTest::addRow("never answers") << stalls << QByteArray() << false;
        QTest::addRow("stalls inside the body") << stalls << cut << false;
        QTest::addRow("refused") << QStringLiteral("gone") << QByteArray() << false;
        for (const bool withLength : {true, false}) {
            const char* how = withLength ? "length given" : "no length";
            for (const qint64 size : {UpdateChecker::maxFeedSize, UpdateChecker::maxFeedSize + 1})
                QTest::addRow("%lld bytes, %s", size, how)
                    << closes
                    << httpResponse(200, validFeed + QByteArray(size - validFeed.size(), ' '),
                                    withLength)
                    << (size == UpdateChecker::maxFeedSize);
        }
    }
    void fetch()
    {
        QFETCH(QString, server);
        QFETCH(QByteArray, response);
        QFETCH(bool, update);
        const bool stalls = server == QLatin1String("stalls");
        auto canned = std::make_unique<CannedHttpServer>();
        canned->respondWith(response, !stalls);
        const QUrl url = canned->url();
        if (server == QLatin1String("gone"))
            canned.reset();
        // The timeout handed in stands for the 15 seconds.
        const UpdateChecker checker{infoWithFeed(url), nullptr, stalls ? 200ms : 15s};
        Results results;
        QElapsedTimer clock;
        clock.start();
        checker.check(results.completion());
        QCOMPARE(results.calls, 0);
        QTRY_COMPARE(results.calls, 1);
        QCOMPARE(results.last.has_value(), update);
        if (update)
            QCOMPARE(results.last->url, QUrl(QStringLiteral("https://example.com/dl")));
        if (stalls)
            QCOMPARE_GE(clock.elapsed(), 200);
        if (canned) {
            QCOMPARE(canned->requests().size(), 1);
            QVERIFY(canned->requests().first().startsWith("GET /feed.json HTTP/1.1\r\n"));
        }
    }

    // A huge body is not read to its end: the transfer is cut off near the cap.
    void oversizedBodyIsAborted_data()
    {
        QTest::addColumn<bool>("withLength");
        QTest::addRow("length given") << true;
        QTest::addRow("no length") << false;
    }
    void oversizedBodyIsAborted()
    {
        QFETCH(bool, withLength);
        CannedHttpServer server;
        server.streamBody(256 * 1024 * 1024, withLength);
        const UpdateChecker checker{infoWithFeed(server.url())};
        Results results;
        checker.check(results.completion());
        QTRY_COMPARE(results.calls, 1);
        QVERIFY(!results.last);
        QTRY_VERIFY(server.clientHungUp());
        // Socket buffers on the way may hold a few MiB; the rest is never sent.
        QCOMPARE_LT(server.bodyBytesWritten(), 32 * 1024 * 1024);
    }

    // The completion comes even when the checker goes away with the request in flight.
    void destroyedWhileFetching()
    {
        CannedHttpServer server;
        server.neverAnswer();
        Results results;
        {
            const UpdateChecker checker{infoWithFeed(server.url())};
            checker.check(results.completion());
            QTRY_COMPARE(server.requests().size(), 1);
            QCOMPARE(results.calls, 0);
        }
        QCOMPARE(results.calls, 1);
        QVERIFY(!results.last);
    }
};

QTEST_GUILESS_MAIN(TestUpdateChecker)
#include "tst_updatechecker.moc"
