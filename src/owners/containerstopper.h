#pragma once

#include "stopresult.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>

// Stops a container through the engine's API on its local socket (POST
// /containers/ID/stop), the socket the names are asked on, with the same bounds: one
// request per connection, the answer capped in size and awaited no longer than a deadline.
// The engine answers once the container has stopped, so it is told to wait less than that
// for a clean stop before it kills.
class ContainerStopper : public QObject
{
    Q_OBJECT

public:
    using Done = std::function<void(const StopResult&)>;

    explicit ContainerStopper(QString socketPath, QObject* parent = nullptr);

    // done runs once, on this thread, unless context is gone by then. A reference that is no
    // container name or id is refused without asking.
    void stop(const QString& container, const QObject* context, Done done);

    std::chrono::milliseconds answerWithin{5000};
    // What the engine gives the container to stop before it kills it.
    int stopSeconds = 3;

private:
    const QString m_socketPath;
};
