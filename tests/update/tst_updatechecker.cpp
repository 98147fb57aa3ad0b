#include "updatechecker.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace std::chrono_literals;

namespace {

QByteArray httpResponse(int status, const QByteArray& body)
{
    return "HTTP/1.1 " + QByteArray::number(status) +
           " Canned\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

const QByteArray validFeed =
    R"({"version": "1.4", "notes": "Faster scanning", "url": "https://example.com/dl"})";

} // namespace

class TestUpdateChecker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A response body against the running 1.3: decoding, the version test, the address.
    void updateFromBody_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("update"); // "VERSION|NOTES|URL"; empty: none
        // ' stands for " in the bodies.
        const auto row = [](const char* what, const char* body, const char* update = "") {
            QTest::addRow("%s", what)
                << QByteArray(body).replace('\'', '"') << QString::fromUtf8(update);
        };
        row("all three", validFeed.constData(), "1.4|Faster scanning|https://example.com/dl");
        row("notes absent", "{'version':'1.4','url':'http://x'}", "1.4||http://x");
        row("notes null", "{'version':'1.4','notes':null,'url':'http://x'}", "1.4||http://x");
        row("notes a number", "{'version':'1.4','notes':3,'url':'http://x'}");
        row("not JSON", "<html>Not Found</html>");
        row("file url", "{'version':'1.4','url':'file:///etc/passwd'}");
        row("http without a host", "{'version':'1.4','url':'http:download'}");
        // The version order.
        row("numbers, not text", "{'version':'1.10','url':'http://x'}", "1.10||http://x");
        row("a missing piece is 0", "{'version':'1.3.0','url':'http://x'}");
        row("so is one not a number", "{'version':'1.4-beta','url':'http://x'}");
        row("ASCII digits only", "{'version':'\u0662','url':'http://x'}");
        row("past 64 bits is 0", "{'version':'9223372036854775808','url':'http://x'}");
    }
    void updateFromBody()
    {
        QFETCH(QByteArray, body);
        const auto update = UpdateChecker::updateFromBody(body, QStringLiteral("1.3"));
        const QString fields =
            update ? update->version + u'|' + update->notes + u'|' + update->url.toString()
                   : QString();
        QTEST(fields, "update");
    }

    // Against a loopback server that answers with canned bytes and holds the connection open:
    // only a whole body counts, and one over 1 MiB is given up on without waiting for its end.
    void fetch_data()
    {
        QTest::addColumn<QByteArray>("response"); // empty: no feed address
        QTest::addColumn<bool>("stalls");         // ended by a short idle timeout
        QTest::addColumn<bool>("update");
        QTest::addRow("valid feed") << httpResponse(200, validFeed) << false << true;
        QTest::addRow("404 with a valid feed") << httpResponse(404, validFeed) << false << true;
        QTest::addRow("stalls inside the body")
            << httpResponse(200, validFeed + "    ").chopped(4) << true << false;
        QTest::addRow("256 MiB promised")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 268435456\r\n\r\n") << false << false;
        QTest::addRow("over 1 MiB, no length")
            << QByteArray("HTTP/1.1 200 OK\r\n\r\n") + QByteArray(1024 * 1024 + 1, ' ') << false
            << false;
        QTest::addRow("no feed address") << QByteArray() << false << false;
    }
    void fetch()
    {
        QFETCH(QByteArray, response);
        QFETCH(bool, stalls);
        QTcpServer server;
        QByteArray request;
        connect(&server, &QTcpServer::newConnection, &server, [&] {
            QTcpSocket* socket = server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [&, socket] {
                request += socket->readAll();
                if (request.endsWith("\r\n\r\n"))
                    socket->write(response);
            });
        });
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const QString url =
            QStringLiteral("http://127.0.0.1:%1/feed.json").arg(server.serverPort());
        const UpdateChecker checker(
            {{}, QStringLiteral("1.3"), {}, response.isEmpty() ? QString() : url, {}, {}, {}},
            nullptr, stalls ? 200ms : 15s);
        int calls = 0;
        bool update = false;
        checker.check([&](const std::optional<AppUpdate>& answer) {
            ++calls;
            update = answer.has_value();
        });
        // Without an address the answer comes before check() returns, otherwise never.
        QCOMPARE(calls, response.isEmpty() ? 1 : 0);
        QTRY_COMPARE(calls, 1);
        QTEST(update, "update");
        QCOMPARE(request.startsWith("GET /feed.json HTTP/1.1\r\n"), !response.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestUpdateChecker)
#include "tst_updatechecker.moc"
