#include "cannedhttpserver.h"
#include "updatechecker.h"

#include <QNetworkAccessManager>
#include <QTest>

#include <memory>

using namespace std::chrono_literals;

namespace {

ApplicationInfo infoWithFeed(const QUrl& feed, const QString& version = QStringLiteral("1.3"))
{
    ApplicationInfo info;
    info.name = QStringLiteral("Tidewatch");
    info.version = version;
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

// Collects what completions receive.
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
        const auto row = [](const char* what, const char* candidate, const char* running,
                            bool newer) {
            QTest::addRow("%s", what)
                << QString::fromUtf8(candidate) << QString::fromUtf8(running) << newer;
        };
        // The worked results.
        row("numbers, not text", "1.10", "1.9", true);
        row("missing piece is 0", "2.0", "2", false);
        row("missing piece is 0, reversed", "2", "2.0", false);
        row("third position", "1.0.1", "1.0", true);
        row("third position, reversed", "1.0", "1.0.1", false);
        row("suffix makes the piece 0", "1.2-beta", "1.1", false);
        row("suffix on the running side", "1.2", "1.2-beta", true);
        row("letter prefix", "v2.0", "1.9", false);
        row("doubled dot", "1..3", "1.2", true);
        row("leading zeros", "01.5", "1.4", true);
        row("fallback running version", "1.0", "0", true);
        row("empty against 0", "", "0", false);
        // Our own.
        row("equal", "1.4", "1.4", false);
        row("leading and trailing dots", ".1.4.", "1.3", true);
        row("only dots", "...", "0", false);
        row("explicit plus", "+2", "1", true);
        row("negative piece", "1.-1", "1", false);
        row("negative running piece", "0", "-1", true);
        row("empty beats negative running", "", "-1", true);
        row("minus zero", "-0", "0", false);
        row("lone sign counts as 0", "+.5", "0.4", true);
        row("double sign", "--2", "1", false);
        row("inner space", "1. 2", "1.1", false);
        row("exponent", "1e3", "999", false);
        row("non-ASCII digit", "\u0662", "1", false);
        row("largest 64-bit", "9223372036854775807", "9223372036854775806", true);
        row("overflow counts as 0", "9223372036854775808", "1", false);
        row("smallest 64-bit", "-9223372036854775808", "-9223372036854775807", false);
        row("many pieces", "2.0.0.0.0.0.1", "2", true);
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
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("notes");
        QTest::addColumn<QString>("url");
        const QString v = QStringLiteral("1.4");
        const QString u = QStringLiteral("https://example.com/dl");
        const auto fails = [](const char* what, const QByteArray& body) {
            QTest::addRow("%s", what) << body << false << QString() << QString() << QString();
        };
        QTest::addRow("all three")
            << validFeed << true << v << QStringLiteral("Faster scanning") << u;
        QTest::addRow("notes absent")
            << QByteArray("{\"version\":\"1.4\",\"url\":\"https://example.com/dl\"}") << true << v
            << QString() << u;
        QTest::addRow("notes null")
            << QByteArray("{\"version\":\"1.4\",\"notes\":null,\"url\":\"https://example.com/dl\"}")
            << true << v << QString() << u;
        QTest::addRow("other members ignored")
            << QByteArray(
                   "{\"version\":\"1.4\",\"url\":\"https://example.com/dl\",\"size\":12,\"x\":[1]}")
            << true << v << QString() << u;
        QTest::addRow("url text kept as given")
            << QByteArray("{\"version\":\" 1.4 \",\"url\":\"not a url\"}") << true
            << QStringLiteral(" 1.4 ") << QString() << QStringLiteral("not a url");
        fails("notes a number",
              "{\"version\":\"1.4\",\"notes\":3,\"url\":\"https://example.com/dl\"}");
        fails("notes an object",
              "{\"version\":\"1.4\",\"notes\":{},\"url\":\"https://example.com/dl\"}");
        fails("version a number", "{\"version\":1.4,\"url\":\"https://example.com/dl\"}");
        fails("version null", "{\"version\":null,\"url\":\"https://example.com/dl\"}");
        fails("url null", "{\"version\":\"1.4\",\"url\":null}");
        fails("url an array", "{\"version\":\"1.4\",\"url\":[\"https://example.com/dl\"]}");
        fails("version missing", "{\"url\":\"https://example.com/dl\"}");
        fails("url missing", "{\"version\":\"1.4\"}");
        fails("keys are case-sensitive",
              "{\"Version\":\"1.4\",\"URL\":\"https://example.com/dl\"}");
        fails("top level an array", "[{\"version\":\"1.4\",\"url\":\"https://example.com/dl\"}]");
        fails("top level a string", "\"1.4\"");
        fails("top level null", "null");
        fails("not JSON", "<html>Not Found</html>");
        fails("empty body", "");
        fails("garbage after the object", "{\"version\":\"1.4\",\"url\":\"https://x.org\"} x");
        fails("truncated", "{\"version\":\"1.4\",\"url\":\"https://x.org\"");
    }
    void decodeFeed()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, decodes);
        const std::optional<UpdateChecker::Feed> feed = UpdateChecker::decodeFeed(body);
        QCOMPARE(feed.has_value(), decodes);
        if (!feed)
            return;
        QTEST(feed->version, "version");
        QTEST(feed->notes, "notes");
        QTEST(feed->url, "url");
    }

    // The last steps of a check: version test, then the download address.
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
        row("newer, https", "1.4", "https://example.com/dl", "1.3", true);
        row("newer, http", "1.4", "http://example.com/dl", "1.3", true);
        row("scheme in capitals", "1.4", "HTTPS://example.com/dl", "1.3", true);
        row("loopback with port", "1.4", "http://[::1]:8080/dl", "1.3", true);
        row("same version", "1.3", "https://example.com/dl", "1.3", false);
        row("older version", "1.2", "https://example.com/dl", "1.3", false);
        row("fallback 0: 1", "1", "https://example.com/dl", "0", true);
        row("fallback 0: 0.2", "0.2", "https://example.com/dl", "0", true);
        row("fallback 0: 0.0.1", "0.0.1", "https://example.com/dl", "0", true);
        row("url with a space", "1.4", "https://example.com/a b", "1.3", false);
        row("url with a bad escape", "1.4", "https://example.com/%zz", "1.3", false);
        row("url empty", "1.4", "", "1.3", false);
        row("file url", "1.4", "file:///etc/passwd", "1.3", false);
        row("javascript url", "1.4", "javascript:alert(1)", "1.3", false);
        row("ftp url", "1.4", "ftp://example.com/dl", "1.3", false);
        row("program scheme", "1.4", "ssh://example.com", "1.3", false);
        row("relative reference", "1.4", "downloads/tidewatch", "1.3", false);
        row("http without a host", "1.4", "http:download", "1.3", false);
        row("http with an empty host", "1.4", "http:///dl", "1.3", false);
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
            QCOMPARE(result->version, version);
            QCOMPARE(result->notes, QStringLiteral("Faster scanning"));
            QCOMPARE(result->url, QUrl(url));
        }
    }

    void fallbacks()
    {
        const UpdateChecker bare{ApplicationInfo{}};
        QCOMPARE(bare.appName(), QStringLiteral("This app"));
        QCOMPARE(bare.currentVersion(), QStringLiteral("0"));
        QVERIFY(!bare.feedUrl());
        QCOMPARE(bare.transferTimeout(), 15s);

        ApplicationInfo info = infoWithFeed(QUrl(QStringLiteral("https://example.com/feed.json")));
        const UpdateChecker full{info};
        QCOMPARE(full.appName(), QStringLiteral("Tidewatch"));
        QCOMPARE(full.currentVersion(), QStringLiteral("1.3"));
        QCOMPARE(full.feedUrl(), QUrl(QStringLiteral("https://example.com/feed.json")));

        info.updateFeedUrl = QStringLiteral("https://exa mple.com/feed.json");
        QVERIFY(!UpdateChecker(info).feedUrl());
    }

    void noFeedUrlCompletesAtOnce()
    {
        const UpdateChecker checker{ApplicationInfo{}};
        Results results;
        checker.check(results.completion());
        QCOMPARE(results.calls, 1);
        QVERIFY(!results.last);
    }

    void fetch_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<bool>("update");
        const QByteArray head = "HTTP/1.1 200 OK\r\nConnection: close\r\n";
        const auto withStatus = [](int status, const QByteArray& body) -> QByteArray {
            return "HTTP/1.1 " + QByteArray::number(status) + " X\r\nConnection: close\r\n" +
                   "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
        };
        QTest::addRow("valid feed") << withStatus(200, validFeed) << true;
        QTest::addRow("404 with a valid feed") << withStatus(404, validFeed) << true;
        QTest::addRow("500 with a valid feed") << withStatus(500, validFeed) << true;
        QTest::addRow("ends with the connection") << head + "\r\n" + validFeed << true;
        QTest::addRow("not JSON") << withStatus(200, "<html>Moved</html>") << false;
        QTest::addRow("no body") << withStatus(204, "") << false;
        QTest::addRow("same version")
            << withStatus(200, feedJson(QStringLiteral("1.3"), QStringLiteral("https://x.org")))
            << false;
        QTest::addRow("file: download url")
            << withStatus(200,
                          feedJson(QStringLiteral("1.4"), QStringLiteral("file:///etc/passwd")))
            << false;
        QTest::addRow("javascript: download url")
            << withStatus(200, feedJson(QStringLiteral("1.4"), QStringLiteral("javascript:x()")))
            << false;
        QTest::addRow("ftp: download url")
            << withStatus(200, feedJson(QStringLiteral("1.4"), QStringLiteral("ftp://x.org/dl")))
            << false;
        // The connection drops before the promised length: what came is not the answer,
        // even though it happens to be a whole feed.
        QTest::addRow("cut short")
            << head + "Content-Length: " + QByteArray::number(validFeed.size() + 10) + "\r\n\r\n" +
                   validFeed
            << false;
        QTest::addRow("not HTTP") << QByteArray("SSH-2.0-OpenSSH\r\n") + validFeed << false;
    }
    void fetch()
    {
        QFETCH(QByteArray, response);
        QFETCH(bool, update);
        CannedHttpServer server;
        server.answerRaw(response);
        const UpdateChecker checker{infoWithFeed(server.url())};
        Results results;
        checker.check(results.completion());
        QCOMPARE(results.calls, 0);
        QTRY_COMPARE(results.calls, 1);
        QCOMPARE(results.last.has_value(), update);
        if (update) {
            QCOMPARE(results.last->version, QStringLiteral("1.4"));
            QCOMPARE(results.last->notes, QStringLiteral("Faster scanning"));
            QCOMPARE(results.last->url, QUrl(QStringLiteral("https://example.com/dl")));
        }
        // Qt may resend after a garbled answer; every request is a plain GET.
        QVERIFY(server.requestCount() >= 1);
        QVERIFY(server.requests().first().startsWith("GET /feed.json HTTP/1.1\r\n"));
    }

    // Every check goes to the server; nothing is answered from a cache.
    void everyCheckFetches()
    {
        CannedHttpServer server;
        server.answer(200, validFeed);
        QNetworkAccessManager network;
        const UpdateChecker checker{infoWithFeed(server.url()), &network};
        Results results;
        checker.check(results.completion());
        QTRY_COMPARE(results.calls, 1);
        checker.check(results.completion());
        QTRY_COMPARE(results.calls, 2);
        QCOMPARE(server.requestCount(), 2);
        QVERIFY(results.last);
    }

    void timeouts_data()
    {
        QTest::addColumn<bool>("sendsPartialBody");
        QTest::addRow("never answers") << false;
        QTest::addRow("stalls inside the body") << true;
    }
    void timeouts()
    {
        QFETCH(bool, sendsPartialBody);
        CannedHttpServer server;
        if (sendsPartialBody) {
            server.answerThenStall(
                "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(validFeed.size() + 10) +
                "\r\n\r\n" + validFeed);
        } else {
            server.neverAnswer();
        }
        const UpdateChecker checker{infoWithFeed(server.url()), nullptr, 200ms};
        Results results;
        QElapsedTimer clock;
        clock.start();
        checker.check(results.completion());
        QTRY_COMPARE(results.calls, 1);
        QVERIFY(!results.last);
        QVERIFY(clock.elapsed() >= 200);
    }

    void refusedConnection()
    {
        QUrl url;
        {
            CannedHttpServer closed;
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
        QTest::addColumn<bool>("update");
        QTest::addRow("exactly 1 MiB") << UpdateChecker::maxFeedSize << true;
        QTest::addRow("1 MiB and a byte") << UpdateChecker::maxFeedSize + 1 << false;
    }
    void sizeCap()
    {
        QFETCH(qint64, size);
        QFETCH(bool, update);
        // A valid feed padded with white space to the size.
        QByteArray body = validFeed;
        body += QByteArray(size - body.size(), ' ');
        for (const bool withLength : {true, false}) {
            CannedHttpServer server;
            server.answer(200, body, withLength);
            const UpdateChecker checker{infoWithFeed(server.url())};
            Results results;
            checker.check(results.completion());
            QTRY_COMPARE(results.calls, 1);
            QCOMPARE(results.last.has_value(), update);
        }
    }

    // A huge body is not read to its end: the transfer is cut off near the cap.
    void oversizedBodyIsAborted_data()
    {
        QTest::addColumn<bool>("withLength");
        QTest::addRow("announced length") << true;
        QTest::addRow("no length") << false;
    }
    void oversizedBodyIsAborted()
    {
        QFETCH(bool, withLength);
        constexpr qint64 huge = 256 * 1024 * 1024;
        CannedHttpServer server;
        server.streamBody(huge, withLength);
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
            QTRY_COMPARE(server.requestCount(), 1);
            QCOMPARE(results.calls, 0);
        }
        QCOMPARE(results.calls, 1);
        QVERIFY(!results.last);
    }
};

QTEST_GUILESS_MAIN(TestUpdateChecker)
#include "tst_updatechecker.moc"
