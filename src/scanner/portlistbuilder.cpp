#include "portlistbuilder.h"

#include <algorithm>

bool PortListBuilder::add(qint64 port, qint32 pid, const QString& processName)
{
    // One hash lookup: the set grows only for a new pair.
    const qsizetype seen = m_seen.size();
    m_seen.insert({port, pid});
    if (m_seen.size() == seen)
        return false;
    m_ports.append(ListeningPort(port, pid, processName));
    return true;
}

void PortListBuilder::reserve(qsizetype records)
{
    m_seen.reserve(records);
    m_ports.reserve(records);
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
