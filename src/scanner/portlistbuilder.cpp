#include "portlistbuilder.h"

#include <algorithm>

bool PortListBuilder::add(qint64 port, qint32 pid, const QString& processName)
{
    if (m_seen.contains({port, pid}))
        return false;
    m_seen.insert({port, pid});
    m_ports.append(ListeningPort(port, pid, processName));
    return true;
}

QList<ListeningPort> PortListBuilder::take()
{
    std::stable_sort(m_ports.begin(), m_ports.end(),
                     [](const ListeningPort& a, const ListeningPort& b) {
                         if (a.port() != b.port())
                             return a.port() < b.port();
                         return a.pid() < b.pid();
                     });
    m_seen.clear();
    return std::exchange(m_ports, {});
}
