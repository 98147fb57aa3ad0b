#include "containerstopper.h"

#include "enginehttp.h"
#include "printabletext.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>

#include <memory>

namespace {

StopResult resultOf(const EngineHttp::Response& response)
{
    switch (response.status) {
    case 204: // stopped
    case 304: // was not running
        return {StopResult::Outcome::Stopped, {}};
    case 404:
        return {StopResult::Outcome::Gone, {}};
    default:
        break;
    }
    // The engine says why in {"message": "..."}.
    QString message = QJsonDocument::fromJson(response.body)[QLatin1String("message")].toString();
    if (message.isEmpty())
        message = QStringLiteral("HTTP %1").arg(response.status);
    return {StopResult::Outcome::Failed, printableText(message.left(300))};
}

} // namespace

ContainerStopper::ContainerStopper(QString socketPath, QObject* parent)
    : QObject(parent), m_socketPath(std::move(socketPath))
{}

void ContainerStopper::stop(const QString& container, const QObject* context, Done done)
{
    const QPointer<const QObject> guard(context);
    auto finish = std::make_shared<Done>(std::move(done));
    auto* socket = new QLocalSocket(this);
    auto answer = std::make_shared<QByteArray>();
    // Runs once: the socket goes with the first outcome.
    const auto end = [socket, finish, guard](const StopResult& result) {
        if (!*finish)
            return;
        const Done call = std::exchange(*finish, {});
        socket->disconnect();
        socket->abort();
        socket->deleteLater();
        if (guard)
            call(result);
    };
    if (!EngineHttp::isContainerReference(container)) {
        QTimer::singleShot(0, socket, [end] { end({StopResult::Outcome::Failed, {}}); });
        return;
    }
    QTimer::singleShot(answerWithin, socket, [end] { end({StopResult::Outcome::NoAnswer, {}}); });
    const QByteArray request = "POST /containers/" + container.toLatin1() +
                               "/stop?t=" + QByteArray::number(stopSeconds) +
                               " HTTP/1.1\r\nHost: docker\r\nContent-Length: 0\r\n"
                               "Connection: close\r\n\r\n";
    connect(socket, &QLocalSocket::connected, socket,
            [socket, request] { socket->write(request); });
    const auto take = [socket, answer, end] {
        EngineHttp::Response response;
        const auto state = EngineHttp::readAnswer(*socket, *answer, response);
        if (state == EngineHttp::State::Done)
            end(resultOf(response));
        else if (state == EngineHttp::State::Failed)
            end({StopResult::Outcome::Failed, {}});
    };
    connect(socket, &QLocalSocket::readyRead, socket, take);
    connect(socket, &QLocalSocket::disconnected, socket, take);
    connect(socket, &QLocalSocket::errorOccurred, socket,
            [end, take](QLocalSocket::LocalSocketError error) {
                if (error == QLocalSocket::PeerClosedError) {
                    take();
                    return;
                }
                // Nothing answered: no engine there, or not ours to use.
                end({error == QLocalSocket::SocketAccessError ? StopResult::Outcome::Refused
                                                              : StopResult::Outcome::Unreachable,
                     {}});
            });
    socket->connectToServer(m_socketPath);
}
