#include "containerstopper.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

Q_DECLARE_METATYPE(StopResult::Outcome)

// Against a stand-in engine on a socket of the test's own, which answers each request as
// the row says and records what it was asked.
class TestContainerStopper : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stop_data()
    {
        QTest::addColumn<QString>("container");
        QTest::addColumn<QByteArray>("answer"); // "none": no engine; "silent": never answers
        QTest::addColumn<StopResult::Outcome>("outcome");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QByteArray>("asked"); // the request's first line
        using O = StopResult::Outcome;
        const QByteArray post = "POST /containers/web/stop?t=3 HTTP/1.1";
        QTest::addRow("stopped") << "web" << QByteArray("HTTP/1.1 204 No Content\r\n\r\n")
                                 << O::Stopped << "" << post;
        QTest::addRow("by id, not running")
            << "3f2a9c81e0d4" << QByteArray("HTTP/1.1 304 Not Modified\r\n\r\n") << O::Stopped << ""
            << QByteArray("POST /containers/3f2a9c81e0d4/stop?t=3 HTTP/1.1");
        QTest::addRow("gone") << "web"
                              << QByteArray("HTTP/1.1 404 Not Found\r\nContent-Length: 37\r\n\r\n"
                                            "{\"message\":\"No such container: web\"}\n")
                              << O::Gone << "" << post;
        QTest::addRow("an error, in its words")
            << "web"
            << QByteArray("HTTP/1.1 500 Server Error\r\nTransfer-Encoding: chunked\r\n\r\n"
                          "1a\r\n{\"message\":\"cannot\\nstop\"}\r\n0\r\n\r\n")
            << O::Failed << QStringLiteral("cannot\uFFFDstop") << post;
        QTest::addRow("garbage") << "web" << QByteArray("SSH-2.0-OpenSSH\r\n\r\n") << O::Failed
                                 << "" << post;
        QTest::addRow("an answer beyond the cap")
            << "web"
            << "HTTP/1.1 500 Server Error\r\nContent-Length: 5000000\r\n\r\n" +
                   QByteArray(5000000, 'x')
            << O::Failed << "" << post;
        QTest::addRow("no answer") << "web" << QByteArray("silent") << O::NoAnswer << "" << post;
        QTest::addRow("no engine")
            << "web" << QByteArray("none") << O::Unreachable << "" << QByteArray();
        QTest::addRow("not a container's name: nothing asked")
            << "web/../../x" << QByteArray("HTTP/1.1 204 No Content\r\n\r\n") << O::Failed << ""
            << QByteArray();
    }

    void stop()
    {
        QFETCH(QString, container);
        QFETCH(QByteArray, answer);
        QFETCH(StopResult::Outcome, outcome);
        QFETCH(QString, detail);
        QFETCH(QByteArray, asked);
        const QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("docker.sock"));
        QLocalServer engine;
        QByteArray request;
        if (answer != "none") {
            QVERIFY(engine.listen(path));
            connect(&engine, &QLocalServer::newConnection, this, [&] {
                QLocalSocket* client = engine.nextPendingConnection();
                connect(client, &QLocalSocket::readyRead, client, [&, client] {
                    request += client->readAll();
                    if (!request.endsWith("\r\n\r\n") || answer == "silent")
                        return;
                    client->write(answer);
                    client->disconnectFromServer();
                });
            });
        }
        ContainerStopper stopper(path);
        stopper.answerWithin = 500ms;
        std::optional<StopResult> result;
        stopper.stop(container, this, [&](const StopResult& r) {
            QVERIFY(!result);
            result = r;
        });
        QTRY_VERIFY(result);
        QCOMPARE(result->outcome, outcome);
        QCOMPARE(result->detail, detail);
        QCOMPARE(request.left(request.indexOf("\r\n")), asked);
    }
};

QTEST_GUILESS_MAIN(TestContainerStopper)
#include "tst_containerstopper.moc"
