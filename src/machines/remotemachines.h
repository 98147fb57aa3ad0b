#pragma once

#include "hostwatch.h"
#include "portforwards.h"
#include "remotesection.h"

#include <QObject>
#include <QStringList>

#include <memory>
#include <vector>

// The other machines the panel watches, and the forwards of their ports: one HostWatch
// each, and the forwards they share. On shutdown (or destruction) nothing of ours is left
// running: the forwards' ssh end, and the kept connections are closed.
class RemoteMachines : public QObject
{
    Q_OBJECT

public:
    explicit RemoteMachines(SshSetup setup, QObject* parent = nullptr);
    ~RemoteMachines() override;

    // Watches these hosts, in this order; a host no longer named is let go, with its
    // forwards and its kept connection.
    void setHosts(const QStringList& hosts);
    QStringList hosts() const;
    QList<RemoteSection> sections() const;

    void forward(const QString& host, const ListeningPort& port);
    void stopForward(const QString& host, qint64 port);

    void shutdown();

Q_SIGNALS:
    void changed();

private:
    SshSetup m_setup;
    PortForwards m_forwards;
    std::vector<std::unique_ptr<HostWatch>> m_watches;
    bool m_shutDown = false;
};
