#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

// A loopback HTTP server that answers every request with one canned response, or not at
// all. Big bodies are written a chunk at a time as the client takes them, so a client that
// stops reading early leaves most of the body unsent.
class CannedHttpServer : public QObject
{
    Q_OBJECT

public:
    enum class Mode
    {
        Answer,
        NeverAnswer,
        StreamBody
    };

    explicit CannedHttpServer(QObject* parent = nullptr) : QObject(parent)
    {
        connect(&m_server, &QTcpServer::newConnection, this, &CannedHttpServer::accept);
        m_server.listen(QHostAddress::LocalHost);
    }

    QUrl url(const QString& path = QStringLiteral("/feed.json")) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }

    // A complete response: status line, Content-Length unless told otherwise, the body.
    void answer(int status, const QByteArray& body, bool withLength = true)
    {
        m_mode = Mode::Answer;
        m_closeAfterAnswer = true;
        m_response = "HTTP/1.1 " + QByteArray::number(status) + " Canned\r\n" +
                     "Content-Type: application/json\r\nConnection: close\r\n";
        if (withLength)
            m_response += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        m_response += "\r\n" + body;
    }
    // Headers and the first part of a body, then silence with the connection kept open.
    void answerThenStall(const QByteArray& headAndPartialBody)
    {
        m_mode = Mode::Answer;
        m_response = headAndPartialBody;
        m_closeAfterAnswer = false;
    }
    // Raw bytes, then the connection closes.
    void answerRaw(const QByteArray& raw)
    {
        m_mode = Mode::Answer;
        m_closeAfterAnswer = true;
        m_response = raw;
    }
    void neverAnswer() { m_mode = Mode::NeverAnswer; }
    // A 200 whose body of `size` spaces is written as the client reads it.
    void streamBody(qint64 size, bool withLength)
    {
        m_mode = Mode::StreamBody;
        m_streamSize = size;
        m_response = "HTTP/1.1 200 OK\r\nConnection: close\r\n";
        if (withLength)
            m_response += "Content-Length: " + QByteArray::number(size) + "\r\n";
        m_response += "\r\n";
    }

    int requestCount() const { return m_requests.size(); }
    const QList<QByteArray>& requests() const { return m_requests; }
    qint64 bodyBytesWritten() const { return m_bodyWritten; }
    bool clientHungUp() const { return m_clientHungUp; }

private:
    void accept()
    {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            auto request = std::make_shared<QByteArray>();
            connect(socket, &QTcpSocket::readyRead, this, [this, socket, request] {
                const bool complete = request->contains("\r\n\r\n");
                *request += socket->readAll();
                if (!complete && request->contains("\r\n\r\n")) {
                    m_requests.append(*request);
                    respond(socket);
                }
            });
            connect(socket, &QTcpSocket::disconnected, this, [this] { m_clientHungUp = true; });
        }
    }

    void respond(QTcpSocket* socket)
    {
        switch (m_mode) {
        case Mode::NeverAnswer:
            return;
        case Mode::Answer:
            socket->write(m_response);
            if (m_closeAfterAnswer)
                socket->disconnectFromHost();
            return;
        case Mode::StreamBody:
            socket->write(m_response);
            m_bodyWritten = 0;
            m_clientHungUp = false;
            connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
                // Keep a little queued so the kernel buffers, not ours, hold the rest.
                if (socket->bytesToWrite() > chunkSize || m_bodyWritten >= m_streamSize ||
                    socket->state() != QAbstractSocket::ConnectedState)
                    return;
                const qint64 n = std::min<qint64>(chunkSize, m_streamSize - m_bodyWritten);
                socket->write(QByteArray(n, ' '));
                m_bodyWritten += n;
                if (m_bodyWritten >= m_streamSize)
                    socket->disconnectFromHost();
            });
            return;
        }
    }

    static constexpr qint64 chunkSize = 64 * 1024;
    QTcpServer m_server;
    Mode m_mode = Mode::Answer;
    QByteArray m_response;
    bool m_closeAfterAnswer = true;
    qint64 m_streamSize = 0;
    qint64 m_bodyWritten = 0;
    bool m_clientHungUp = false;
    QList<QByteArray> m_requests;
};
