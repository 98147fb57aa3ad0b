#include "containernames.h"

#include "enginehttp.h"

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
        if (!EngineHttp::isContainerReference(name))
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
    EngineHttp::Response response;
    const auto state = EngineHttp::readAnswer(*m_socket, m_answer, response);
    if (state == EngineHttp::State::Incomplete)
        return;
    QHash<QString, QString> names;
    const bool ok = state == EngineHttp::State::Done && response.status == 200 &&
                    parseContainerList(response.body, names);
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
