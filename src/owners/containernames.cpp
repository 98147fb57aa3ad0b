#include "containernames.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QMetaObject>
#include <QMutexLocker>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

// Some hundred bytes a container in the list; a few thousand containers fit.
constexpr qsizetype maxAnswerBytes = 4 * 1024 * 1024;

enum class Http
{
    Incomplete,
    Failed,
    Done,
};

// A chunked body ("size in hex [;extension] CRLF data CRLF ... 0 CRLF").
Http decodeChunked(QByteArrayView rest, bool closed, QByteArray& body)
{
    const Http incomplete = closed ? Http::Failed : Http::Incomplete;
    body.clear();
    for (;;) {
        const qsizetype end = rest.indexOf("\r\n");
        if (end < 0)
            return incomplete;
        QByteArrayView sizeText = rest.first(end);
        if (const qsizetype extension = sizeText.indexOf(';'); extension >= 0)
            sizeText.truncate(extension);
        bool ok = false;
        const qsizetype size = sizeText.size() <= 8 ? sizeText.trimmed().toLongLong(&ok, 16) : 0;
        if (!ok || size < 0)
            return Http::Failed;
        rest = rest.sliced(end + 2);
        if (size == 0)
            return Http::Done; // trailers, if any, say nothing we need
        if (rest.size() < size + 2)
            return incomplete;
        if (rest.sliced(size, 2) != "\r\n")
            return Http::Failed;
        body += rest.first(size);
        rest = rest.sliced(size + 2);
    }
}

// The body of a successful (200) HTTP/1.x response, once the whole of it is there.
Http httpBody(QByteArrayView response, bool closed, QByteArray& body)
{
    const Http incomplete = closed ? Http::Failed : Http::Incomplete;
    const qsizetype headEnd = response.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return incomplete;
    QByteArrayView head = response.first(headEnd);
    const QByteArrayView rest = response.sliced(headEnd + 4);
    const qsizetype statusEnd = head.indexOf("\r\n");
    const QByteArrayView status = statusEnd < 0 ? head : head.first(statusEnd);
    if (!status.startsWith("HTTP/1.") || status.size() < 12 || status.sliced(8, 4) != " 200" ||
        (status.size() > 12 && status[12] != ' '))
        return Http::Failed;
    head = statusEnd < 0 ? QByteArrayView() : head.sliced(statusEnd + 2);

    bool chunked = false;
    qsizetype length = -1;
    while (!head.isEmpty()) {
        const qsizetype end = head.indexOf("\r\n");
        const QByteArrayView line = end < 0 ? head : head.first(end);
        head = end < 0 ? QByteArrayView() : head.sliced(end + 2);
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray name = line.first(colon).trimmed().toByteArray().toLower();
        const QByteArray value = line.sliced(colon + 1).trimmed().toByteArray().toLower();
        if (name == "transfer-encoding") {
            chunked = value.contains("chunked");
        } else if (name == "content-length") {
            bool ok = false;
            length = value.size() <= 10 ? value.toLongLong(&ok) : -1;
            if (!ok || length < 0)
                return Http::Failed;
        }
    }
    if (chunked)
        return decodeChunked(rest, closed, body);
    if (length >= 0) {
        if (rest.size() < length)
            return incomplete;
        body = rest.first(length).toByteArray();
        return Http::Done;
    }
    // Neither: the body ends where the engine closes the connection.
    if (!closed)
        return Http::Incomplete;
    body = rest.toByteArray();
    return Http::Done;
}

// A name as the engine allows them, so nothing odd reaches the screen.
bool isContainerName(const QString& name)
{
    if (name.isEmpty() || name.size() > 255)
        return false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        const bool alphanumeric =
            (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
        if (!alphanumeric && (i == 0 || (c != u'_' && c != u'.' && c != u'-')))
            return false;
    }
    return true;
}

// Address (and short id) -> name from the answer to GET /containers/json: an array of
// containers, each with "Id", "Names" (["/web"]) and its addresses under
// NetworkSettings.Networks.
bool parseContainerList(const QByteArray& json, QHash<QString, QString>& names)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return false;
    for (const QJsonValue& container : document.array()) {
        QString name = container[QLatin1String("Names")][0].toString();
        if (name.startsWith(QLatin1Char('/')))
            name.remove(0, 1);
        if (!isContainerName(name))
            continue;
        // A restarted owner is named by the container its cgroup shows: the short id.
        const QString id = container[QLatin1String("Id")].toString();
        if (id.size() == 64 && std::all_of(id.begin(), id.end(), [](QChar c) {
                return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f');
            }))
            names.insert(id.left(12), name);
        const QJsonObject networks =
            container[QLatin1String("NetworkSettings")][QLatin1String("Networks")].toObject();
        for (const QJsonValue& network : networks) {
            for (const auto key :
                 {QLatin1String("IPAddress"), QLatin1String("GlobalIPv6Address")}) {
                const QString address = network[key].toString();
                if (!address.isEmpty())
                    names.insert(address, name);
            }
        }
    }
    return true;
}

} // namespace

ContainerNames::ContainerNames(QString socketPath, QObject* parent)
    : ContainerNames(std::move(socketPath), Timing(), parent)
{}

ContainerNames::ContainerNames(QString socketPath, Timing timing, QObject* parent)
    : QObject(parent), m_socketPath(std::move(socketPath)), m_timing(timing)
{}

ContainerNames::~ContainerNames() = default;

std::shared_ptr<ContainerNames> ContainerNames::makeShared(QString socketPath)
{
    return std::shared_ptr<ContainerNames>(new ContainerNames(std::move(socketPath)),
                                           [](ContainerNames* names) {
                                               if (names->thread() == QThread::currentThread())
                                                   delete names;
                                               else
                                                   names->deleteLater();
                                           });
}

QString ContainerNames::defaultSocketPath()
{
    const QString host = qEnvironmentVariable("DOCKER_HOST");
    if (host.startsWith(QLatin1String("unix://")) && host.size() > 7)
        return host.sliced(7);
    return QStringLiteral("/var/run/docker.sock");
}

QString ContainerNames::nameAt(const QString& address)
{
    QMutexLocker lock(&m_mutex);
    const QString name = m_names.value(address);
    if (m_askPending)
        return name;
    bool due = !m_sinceAsked.isValid();
    if (!due && name.isEmpty() && m_lastFailed) {
        due = m_sinceAsked.hasExpired(m_timing.retryAfterFailure.count());
    } else if (!due && name.isEmpty()) {
        // An address new since the answer may be a container started since; one the answer
        // did not name is asked about no more often than names are refreshed.
        const bool isNew = !m_unnamed.contains(address);
        if (isNew)
            m_unnamed.insert(address);
        due = m_sinceAsked.hasExpired(
            (isNew ? m_timing.askAgainAfter : std::max(m_timing.askAgainAfter, m_timing.keepFor))
                .count());
    } else if (!due) {
        due = m_sinceAnswered.hasExpired(m_timing.keepFor.count()) &&
              m_sinceAsked.hasExpired(m_timing.askAgainAfter.count());
    }
    if (due) {
        m_askPending = true;
        QMetaObject::invokeMethod(this, &ContainerNames::ask, Qt::QueuedConnection);
    }
    return name;
}

void ContainerNames::ask()
{
    if (m_socket)
        return;
    {
        QMutexLocker lock(&m_mutex);
        m_askPending = true;
        m_sinceAsked.start();
    }
    m_answer.clear();
    m_socket = new QLocalSocket(this);
    QLocalSocket* socket = m_socket;
    // Every asking ends: with the answer, the connection's end or this.
    QTimer::singleShot(m_timing.answerWithin, socket, [this] { finish({}, false); });
    connect(socket, &QLocalSocket::connected, this, [socket] {
        socket->write("GET /containers/json HTTP/1.1\r\nHost: docker\r\n"
                      "Connection: close\r\n\r\n");
    });
    connect(socket, &QLocalSocket::readyRead, this, &ContainerNames::takeAnswer);
    connect(socket, &QLocalSocket::disconnected, this, &ContainerNames::takeAnswer);
    connect(socket, &QLocalSocket::errorOccurred, this, &ContainerNames::takeAnswer);
    socket->connectToServer(m_socketPath);
}

bool ContainerNames::isAsking() const
{
    QMutexLocker lock(&m_mutex);
    return m_askPending;
}

void ContainerNames::takeAnswer()
{
    if (!m_socket)
        return;
    if (m_socket->isOpen())
        m_answer += m_socket->read(maxAnswerBytes + 1 - m_answer.size());
    const bool closed = m_socket->state() != QLocalSocket::ConnectedState;
    QByteArray body;
    const Http state = m_answer.size() > maxAnswerBytes
                           ? Http::Failed
                           : httpBody(m_answer, closed && m_socket->bytesAvailable() == 0, body);
    if (state == Http::Incomplete)
        return;
    QHash<QString, QString> names;
    const bool ok = state == Http::Done && parseContainerList(body, names);
    finish(names, ok);
}

void ContainerNames::finish(const QHash<QString, QString>& names, bool ok)
{
    QLocalSocket* socket = std::exchange(m_socket, nullptr);
    if (!socket)
        return;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    m_answer.clear();
    {
        QMutexLocker lock(&m_mutex);
        m_names = names;
        m_unnamed.clear();
        m_lastFailed = !ok;
        if (ok)
            m_sinceAnswered.start();
        else
            m_sinceAnswered.invalidate();
        m_askPending = false;
    }
    Q_EMIT answered();
}
