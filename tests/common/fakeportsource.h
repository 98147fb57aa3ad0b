#pragma once

#include "portsource.h"

#include <QMutex>
#include <QMutexLocker>

#include <functional>

// A port source that answers whatever the test sets, from any thread.
class FakePortSource final : public PortSource
{
public:
    explicit FakePortSource(QList<ListeningPort> ports = {})
        : m_result{std::move(ports), QueryError::None, {}}
    {}

    void setPorts(QList<ListeningPort> ports)
    {
        QMutexLocker lock(&m_mutex);
        m_result = QueryResult{std::move(ports), QueryError::None, {}};
    }
    void setResult(QueryResult result)
    {
        QMutexLocker lock(&m_mutex);
        m_result = std::move(result);
    }
    // Runs inside query(), on the worker thread, before the answer is taken.
    void setHook(std::function<void()> hook)
    {
        QMutexLocker lock(&m_mutex);
        m_hook = std::move(hook);
    }
    int queryCount() const
    {
        QMutexLocker lock(&m_mutex);
        return m_queries;
    }

    QueryResult query() override
    {
        std::function<void()> hook;
        {
            QMutexLocker lock(&m_mutex);
            ++m_queries;
            hook = m_hook;
        }
        if (hook)
            hook();
        QMutexLocker lock(&m_mutex);
        return m_result;
    }

private:
    mutable QMutex m_mutex;
    QueryResult m_result;
    std::function<void()> m_hook;
    int m_queries = 0;
};
