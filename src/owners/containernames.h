#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>

#include <chrono>
#include <memory>

class QLocalSocket;

// The names of containers by their addresses, as a container engine's API on its local
// socket gives them (Docker's, or another engine's compatible one): what a port proxy's
// target address belongs to.
//
// Asking is asynchronous and bounded in time and size; each answer replaces the last, and
// an engine that is absent, refuses, answers slowly or with garbage leaves no names, so
// callers show the address. nameAt() never waits: it answers from what is known and asks
// the engine in the background when that may be out of date, for later calls to use.
// Lives on a thread with an event loop; nameAt() may be called from any thread.
class ContainerNames : public QObject
{
    Q_OBJECT

public:
    struct Timing
    {
        std::chrono::milliseconds answerWithin{1000};
        // An address without a name is asked about again no sooner than this (the second
        // time, no sooner than keepFor)...
        std::chrono::milliseconds askAgainAfter{5000};
        // ...or this, after the engine could not be asked.
        std::chrono::milliseconds retryAfterFailure{30000};
        // Names older than this are asked for afresh (and used meanwhile).
        std::chrono::milliseconds keepFor{60000};
    };

    explicit ContainerNames(QString socketPath = defaultSocketPath(), QObject* parent = nullptr);
    ContainerNames(QString socketPath, Timing timing, QObject* parent = nullptr);
    ~ContainerNames() override;

    // For sharing with a port source, whose last holder may be a worker thread: the names
    // are deleted on their own thread then, by its event loop.
    static std::shared_ptr<ContainerNames> makeShared(QString socketPath = defaultSocketPath());

    // The path in DOCKER_HOST when that names a local socket ("unix:///run/user/1000/
    // docker.sock"), else the engine's usual one.
    static QString defaultSocketPath();

    // The name of the container at this address ("172.17.0.2"), or with this short id
    // ("3f2a9c81e0d4"), or empty. Thread-safe.
    QString nameAt(const QString& address);
    // Asks the engine now, unless an answer is awaited already.
    void ask();
    // Whether an asking is queued or under way; answered() follows. Thread-safe.
    bool isAsking() const;

Q_SIGNALS:
    // Each time an asking ends, with the names it brought (none when it failed).
    void answered();

private:
    void takeAnswer();
    void finish(const QHash<QString, QString>& names, bool ok);

    const QString m_socketPath;
    const Timing m_timing;
    QLocalSocket* m_socket = nullptr; // while asking
    QByteArray m_answer;

    mutable QMutex m_mutex; // guards what follows
    QHash<QString, QString> m_names;
    QSet<QString> m_unnamed;       // looked up since the last answer, in vain
    QElapsedTimer m_sinceAsked;    // invalid until the first asking
    QElapsedTimer m_sinceAnswered; // invalid while no answer with names arrived
    bool m_lastFailed = false;
    bool m_askPending = false; // queued or under way
};
