#include "remotemachines.h"

#include <algorithm>

RemoteMachines::RemoteMachines(SshSetup setup, QObject* parent)
    : QObject(parent), m_setup(std::move(setup)), m_forwards(m_setup.program)
{
    connect(&m_forwards, &PortForwards::changed, this, &RemoteMachines::changed);
}

RemoteMachines::~RemoteMachines()
{
    const QSignalBlocker quiet(this);
    shutdown();
}

QStringList RemoteMachines::hosts() const
{
    QStringList hosts;
    for (const auto& watch : m_watches)
        hosts.append(watch->host());
    return hosts;
}

void RemoteMachines::setHosts(const QStringList& hosts)
{
    if (m_shutDown || hosts == this->hosts())
        return;
    std::vector<std::unique_ptr<HostWatch>> kept;
    QStringList gone;
    for (auto& watch : m_watches) {
        if (hosts.contains(watch->host())) {
            kept.push_back(std::move(watch));
            continue;
        }
        watch->stop();
        m_forwards.stopAll(watch->host());
        gone.append(watch->host());
    }
    m_watches.clear();
    for (const QString& host : hosts) {
        const auto it = std::find_if(kept.begin(), kept.end(),
                                     [&](const auto& watch) { return watch->host() == host; });
        if (it != kept.end()) {
            m_watches.push_back(std::move(*it));
            continue;
        }
        auto& watch = m_watches.emplace_back(std::make_unique<HostWatch>(host, m_setup));
        connect(watch.get(), &HostWatch::changed, this, &RemoteMachines::changed);
        watch->start();
    }
    m_setup.closeKeptConnections(gone);
    Q_EMIT changed();
}

QList<RemoteSection> RemoteMachines::sections() const
{
    QList<RemoteSection> sections;
    for (const auto& watch : m_watches) {
        RemoteSection section = watch->section();
        section.forwards = m_forwards.forwardsOf(section.host);
        sections.append(std::move(section));
    }
    return sections;
}

void RemoteMachines::forward(const QString& host, const ListeningPort& port)
{
    if (!m_shutDown && hosts().contains(host))
        m_forwards.start(host, port);
}

void RemoteMachines::stopForward(const QString& host, qint64 port)
{
    m_forwards.stop(host, port);
}

void RemoteMachines::shutdown()
{
    if (std::exchange(m_shutDown, true))
        return;
    m_forwards.stopAll();
    for (const auto& watch : m_watches)
        watch->stop();
    m_setup.closeKeptConnections(hosts());
}
