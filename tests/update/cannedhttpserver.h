#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

// A whole HTTP/1.1 response.
inline QByteArray httpResponse(int status, const QByteArray& body, bool withLength = true)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + " Canned\r\nConnection: close\r\n";
    if (withLength)
        head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    return head + "\r\n" + body;
}

// A loopback HTTP server that answers every request with canned bytes, then closes or stays
// open and silent. A streamed body is written only as the client takes it, so a client that
// stops reading early leaves most of it unsent.
class CannedHttpServer : public QObject
{
    Q_OBJECT

public:
    CannedHttpServer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, &CannedHttpServer::accept);
        m_server.listen(QHostAddress::LocalHost);
    }

    QUrl url() const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/feed.json").arg(m_server.serverPort()));
    }
    void respondWith(const QByteArray& raw, bool thenClose = true)
    {
        m_response = raw;
        m_close = thenClose;
    }
    void neverAnswer() { respondWith({}, false); }
    // A 200 whose body is `size` spaces.
    void streamBody(qint64 size, bool withLength)
    {
        respondWith(httpResponse(200, {}, false), false);
        if (withLength)
            m_response.insert(m_response.size() - 2,
                              "Content-Length: " + QByteArray::number(size) + "\r\n");
        m_streamSize = size;
    }

    const QList<QByteArray>& requests() const { return m_requests; }
    qint64 bodyBytesWritten() const { return m_bodyWritten; }
    bool clientHungUp() const { return m_clientHungUp; }

private:
    void accept()
    {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
            connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { stream(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this] { m_clientHungUp = true; });
        }
    }
    void read(QTcpSocket* socket)
    {
        QByteArray& request = m_partial[socket];
        const bool complete = request.contains("\r\n\r\n");
        request += socket->readAll();
        if (complete || !request.contains("\r\n\r\n"))
            return;
        m_requests.append(request);
        socket->write(m_response);
        if (m_close)
            socket->disconnectFromHost();
    }
    void stream(QTcpSocket* socket)
    {
        // Keep little queued here, so the rest waits for the client.
        if (socket->bytesToWrite() > chunkSize || m_bodyWritten >= m_streamSize ||
            socket->state() != QAbstractSocket::ConnectedState)
            return;
        const qint64 n = std::min(chunkSize, m_streamSize - m_bodyWritten);
        socket->write(QByteArray(n, ' '));
        m_bodyWritten += n;
        if (m_bodyWritten >= m_streamSize)
            socket->disconnectFromHost();
    }

    static constexpr qint64 chunkSize = 64 * 1024;
    QTcpServer m_server;
    QByteArray m_response;
    bool m_close = true;
    qint64 m_streamSize = 0;
    qint64 m_bodyWritten = 0;
    bool m_clientHungUp = false;
    QList<QByteArray> m_requests;
    QHash<QTcpSocket*, QByteArray> m_partial;
};
