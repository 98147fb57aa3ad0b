#include "cannedhttpserver.h"
#include "updatechecker.h"

#include <QElapsedTimer>
#include <QTest>

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
        // Signs, lone signs, overflow and non-ASCII digits.
        row("+2", "1", true);
        row("1.-1", "1", false);
        row("", "-1", true);
        row("+.5", "0.4", true);
        row("--2", "1", false);
        row("1. 2", "1.1", false);
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

    void decodeFeed_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("decodes");
        QTest::addColumn<QString>("notes");
        const auto row = [](const char* what, const char* body, bool decodes,
                            const char* notes = "") {
            QTest::addRow("%s", what) << QByteArray(body) << decodes << QString::fromUtf8(notes);
        };
        row("all three", validFeed.constData(), true, "Faster scanning");
        row("notes absent", "{\"version\":\"1.4\",\"url\":\"u\"}", true);
        row("notes null", "{\"version\":\"1.4\",\"notes\":null,\"url\":\"u\"}", true);
        row("other members ignored", "{\"version\":\"1.4\",\"url\":\"u\",\"x\":[1]}", true);
        row("notes a number", "{\"version\":\"1.4\",\"notes\":3,\"url\":\"u\"}", false);
        row("version a number", "{\"version\":1.4,\"url\":\"u\"}", false);
        row("url null", "{\"version\":\"1.4\",\"url\":null}", false);
        row("url missing", "{\"version\":\"1.4\"}", false);
        row("keys are case-sensitive", "{\"Version\":\"1.4\",\"url\":\"u\"}", false);
        row("top level an array", "[{\"version\":\"1.4\",\"url\":\"u\"}]", false);
        row("top level a string", "\"1.4\"", false);
        row("not JSON", "<html>Not Found</html>", false);
        row("garbage after the object", "{\"version\":\"1.4\",\"url\":\"u\"} x", false);
    }
    void decodeFeed()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, decodes);
        const std::optional<UpdateChecker::Feed> feed = UpdateChecker::decodeFeed(body);
        QCOMPARE(feed.has_value(), decodes);
        if (feed) {
            QCOMPARE(feed->version, QStringLiteral("1.4"));
            QTEST(feed->notes, "notes");
        }
    }

    // After decoding: the version test, then the download address.
    void updateFromBody_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("running");
        QTest::addColumn<bool>("update");
        const auto row = [](const char* what, const char* version, const char* url,
                            const char* running, bool update) {
            QTest::addRow("%s", what) << QString::fromUtf8(version) << QString::fromUtf8(url)
                                      << QString::fromUtf8(running) << update;
        };
        row("newer", "1.4", "https://example.com/dl", "1.3", true);
        row("scheme in capitals", "1.4", "HTTP://example.com/dl", "1.3", true);
        row("same version", "1.3", "https://example.com/dl", "1.3", false);
        row("against the fallback 0", "0.0.1", "https://example.com/dl", "0", true);
        row("url with a space", "1.4", "https://example.com/a b", "1.3", false);
        row("file url", "1.4", "file:///etc/passwd", "1.3", false);
        row("javascript url", "1.4", "javascript:alert(1)", "1.3", false);
        row("ftp url", "1.4", "ftp://example.com/dl", "1.3", false);
        row("relative reference", "1.4", "downloads/tidewatch", "1.3", false);
        row("http without a host", "1.4", "http:download", "1.3", false);
    }
    void updateFromBody()
    {
        QFETCH(QString, version);
        QFETCH(QString, url);
        QFETCH(QString, running);
        QFETCH(bool, update);
        const std::optional<AppUpdate> result =
            UpdateChecker::updateFromBody(feedJson(version, url), running);
        QCOMPARE(result.has_value(), update);
        if (result) {
            QCOMPARE(*result, (AppUpdate{version, QStringLiteral("Faster scanning"), QUrl(url)}));
        }
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

    void fetch_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<bool>("update");
        QTest::addRow("valid feed") << httpResponse(200, validFeed) << true;
        QTest::addRow("404 with a valid feed") << httpResponse(404, validFeed) << true;
        QTest::addRow("ends with the connection") << httpResponse(200, validFeed, false) << true;
        QTest::addRow("not JSON") << httpResponse(200, "<html>Moved</html>") << false;
        QTest::addRow("file: download url")
            << httpResponse(200,
                            feedJson(QStringLiteral("1.4"), QStringLiteral("file:///etc/passwd")))
            << false;
        // The connection drops before the promised length: what came is not the answer,
        // even though it happens to be a whole feed.
        QByteArray cut = httpResponse(200, validFeed + "    ");
        cut.chop(4);
        QTest::addRow("cut short") << cut << false;
    }
    void fetch()
    {
        QFETCH(QByteArray, response);
        QFETCH(bool, update);
        CannedHttpServer server;
        server.respondWith(response);
        const UpdateChecker checker{infoWithFeed(server.url())};
        Results results;
        checker.check(results.completion());
        QCOMPARE(results.calls, 0);
        QTRY_COMPARE(results.calls, 1);
        QCOMPARE(results.last.has_value(), update);
        if (update)
            QCOMPARE(results.last->url, QUrl(QStringLiteral("https://example.com/dl")));
        QCOMPARE(server.requests().size(), 1);
        QVERIFY(server.requests().first().startsWith("GET /feed.json HTTP/1.1\r\n"));
    }

    void timeouts_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::addRow("never answers") << QByteArray();
        QByteArray partial = httpResponse(200, validFeed + "    ");
        partial.chop(4);
        QTest::addRow("stalls inside the body") << partial;
    }
    void timeouts()
    {
        QFETCH(QByteArray, response);
        CannedHttpServer server;
        server.respondWith(response, false);
        const UpdateChecker checker{infoWithFeed(server.url()), nullptr, 200ms};
        Results results;
        QElapsedTimer clock;
        clock.start();
        checker.check(results.completion());
        QTRY_COMPARE(results.calls, 1);
        QVERIFY(!results.last);
        QCOMPARE_GE(clock.elapsed(), 200);
    }

    void refusedConnection()
    {
        QUrl url;
        {
            const CannedHttpServer closed;
            url = closed.url();
        }
        const UpdateChecker checker{infoWithFeed(url)};
        Results results;
        checker.check(results.completion());
        QTRY_COMPARE(results.calls, 1);
        QVERIFY(!results.last);
    }

    void sizeCap_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("withLength");
        QTest::addColumn<bool>("update");
        for (const bool withLength : {true, false}) {
            const char* how = withLength ? "length given" : "no length";
            QTest::addRow("exactly 1 MiB, %s", how)
                << UpdateChecker::maxFeedSize << withLength << true;
            QTest::addRow("a byte more, %s", how)
                << UpdateChecker::maxFeedSize + 1 << withLength << false;
        }
    }
    void sizeCap()
    {
        QFETCH(qint64, size);
        QFETCH(bool, withLength);
        QFETCH(bool, update);
        CannedHttpServer server;
        server.respondWith(
            httpResponse(200, validFeed + QByteArray(size - validFeed.size(), ' '), withLength));
        const UpdateChecker checker{infoWithFeed(server.url())};
        Results results;
        checker.check(results.completion());
        QTRY_COMPARE(results.calls, 1);
        QCOMPARE(results.last.has_value(), update);
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
