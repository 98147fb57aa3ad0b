#pragma once

#include "portsource.h"

#include <QMutex>
#include <QSet>

#include <atomic>
#include <functional>

// A port source that answers whatever the test sets, from any thread. The hook runs inside
// query(), on the worker thread; set it before the first query.
class FakePortSource final : public PortSource
{
public:
    explicit FakePortSource(QList<ListeningPort> ports = {}) { setPorts(std::move(ports)); }

    void setPorts(QList<ListeningPort> ports) { setResult({std::move(ports), {}, {}}); }
    void setResult(QueryResult result)
    {
        const QMutexLocker lock(&m_mutex);
        m_result = std::move(result);
    }
    int queryCount() const { return m_queries; }
    void setCountConnections(bool count) override { countsConnections = count; }
    std::atomic<bool> countsConnections = false;

    QueryResult query() override
    {
        ++m_queries;
        hook();
        const QMutexLocker lock(&m_mutex);
        return m_result;
    }

    std::function<void()> hook = [] {};

private:
    QMutex m_mutex;
    QueryResult m_result;
    std::atomic<int> m_queries = 0;
};

// A source's answer as text, "port pid name" for each record ("port/udp" for UDP), joined
// by '|'; with pids given, only their records.
inline QString describe(const QList<ListeningPort>& ports, const QSet<qint32>& only = {})
{
    QStringList out;
    for (const ListeningPort& port : ports)
        if (only.isEmpty() || only.contains(port.pid()))
            out << QString::asprintf("%lld%s %d ", port.port(), port.isUdp() ? "/udp" : "",
                                     port.pid()) +
                       port.processName();
    return out.join(QLatin1Char('|'));
}
