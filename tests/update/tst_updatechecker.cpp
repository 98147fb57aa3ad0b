#include "updatechecker.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;

namespace {

QByteArray httpResponse(int status, const QByteArray& body)
{
    return "HTTP/1.1 " + QByteArray::number(status) +
           " Canned\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

} // namespace

class TestUpdateChecker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // One check of Tidewatch 1.3 (unless the row says otherwise) against a loopback server that answers with canned bytes (the
    // body all at once, or dripping one byte every 100 ms) and holds the connection open. Any
    // status's whole body is decoded; anything else fails with the reason, at the latest at
    // the idle timeout (1 s) or the deadline (2 s).
    void check_data()
    {
        QTest::addColumn<QByteArray>("response"); // empty: no feed address; "refused": no server
        QTest::addColumn<bool>("drips");
        QTest::addColumn<QString>("outcome"); // "VERSION|NOTES|URL", or how the failure starts
        QTest::addColumn<QString>("running");
        // ' stands for " in the feeds.
        const auto row = [](const char* what, const QByteArray& response, const char* outcome,
                            bool drips = false, const char* running = "1.3") {
            QTest::addRow("%s", what) << QByteArray(response).replace('\'', '"') << drips
                                      << QString::fromUtf8(outcome) << QString::fromUtf8(running);
        };
        const auto feed = [](const char* json) { return httpResponse(200, json); };
        const char* full = "{'version':'1.4','notes':'Faster','url':'https://example.com/dl'}";
        const char* noFeed = "The answer is not an update feed.";
        const char* noPage = "The update feed's download address is not a web page.";
        for (const int status : {200, 400, 401, 404, 407, 418, 500})
            row(qPrintable(QString::number(status)), httpResponse(status, full),
                "1.4|Faster|https://example.com/dl");
        row("notes absent", feed("{'version':'1.4','url':'http://x'}"), "1.4||http://x");
        row("notes null", feed("{'version':'1.4','notes':null,'url':'http://x'}"), "1.4||http://x");
        row("notes a number", feed("{'version':'1.4','notes':3,'url':'http://x'}"), noFeed);
        row("not JSON", feed("<html>"), noFeed);
        row("an error page", httpResponse(404, "<html>"), "The update server answered 404 Canned.");
        row("file url", feed("{'version':'1.4','url':'file:///etc/passwd'}"), noPage);
        row("http without a host", feed("{'version':'1.4','url':'http:download'}"), noPage);
        row("not newer, the address unread", feed("{'version':'1.3','url':'file:///'}"), "");
        // The version order.
        row("numbers, not text", feed("{'version':'1.10','url':'http://x'}"), "1.10||http://x");
        row("a missing piece is 0", feed("{'version':'1.3.0','url':'http://x'}"), "");
        row("running the longer", feed("{'version':'1.3','url':'http://x'}"), "", false, "1.3.0");
        row("a further piece", feed("{'version':'1.3.1','url':'http://x'}"), "1.3.1||http://x");
        row("running a further piece", feed("{'version':'1.3','url':'http://x'}"), "", false,
            "1.3.1");
        row("so is one not a number", feed("{'version':'1.4-beta','url':'http://x'}"), "");
        row("ASCII digits only", feed("{'version':'\u0662','url':'http://x'}"), "");
        row("past 64 bits is 0", feed("{'version':'9223372036854775808','url':'http://x'}"), "");
        // Failures on the way.
        row("stalls inside the body", feed(full).chopped(4),
            "The update server stopped answering.");
        row("drips a byte at a time", feed(full), "The update server took too long", true);
        row("256 MiB promised", "HTTP/1.1 200 OK\r\nContent-Length: 268435456\r\n\r\n",
            "The answer is over 1 MiB");
        row("over 1 MiB, no length", "HTTP/1.1 200 OK\r\n\r\n" + QByteArray(1024 * 1024 + 1, ' '),
            "The answer is over 1 MiB");
        row("refused", "refused", "Connection refused.");
        row("no feed address", "", "This build has no update feed");
    }
    void check()
    {
        QFETCH(QByteArray, response);
        QFETCH(bool, drips);
        QFETCH(QString, running);
        QTcpServer server;
        QByteArray request;
        connect(&server, &QTcpServer::newConnection, &server, [&] {
            QTcpSocket* socket = server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [&, socket] {
                request += socket->readAll();
                if (!request.endsWith("\r\n\r\n"))
                    return;
                qsizetype sent = drips ? response.indexOf("\r\n\r\n") + 4 : response.size();
                socket->write(response.first(sent));
                auto* drip = new QTimer(socket);
                connect(drip, &QTimer::timeout, socket,
                        [&, socket, sent]() mutable { socket->write(response.mid(sent++, 1)); });
                drip->start(100ms);
            });
        });
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const QString url =
            QStringLiteral("http://127.0.0.1:%1/feed.json").arg(server.serverPort());
        if (response == "refused")
            server.close();
        const UpdateChecker checker(
            {{}, running, {}, response.isEmpty() ? QString() : url, {}, {}, {}},
            nullptr, 1s, 2s);
        QStringList outcomes;
        checker.check([&](const UpdateCheckResult& result) {
            const auto& update = result.update;
            outcomes.append(update ? update->version + u'|' + update->notes + u'|' +
                                         update->url.toString()
                                   : result.failure);
        });
        // Without an address the answer comes before check() returns, otherwise never.
        QCOMPARE(outcomes.size(), response.isEmpty() ? 1 : 0);
        QTRY_COMPARE(outcomes.size(), 1);
        QFETCH(QString, outcome);
        QCOMPARE(outcomes.at(0).left(outcome.size()), outcome);
        QCOMPARE(outcomes.at(0).isEmpty(), outcome.isEmpty());
        QCOMPARE(request.startsWith("GET /feed.json HTTP/1.1\r\n"),
                 !response.isEmpty() && response != "refused");
    }
};

QTEST_GUILESS_MAIN(TestUpdateChecker)
#include "tst_updatechecker.moc"
