#pragma once

#include "portsource.h"
#include "socketownerwalk.h"

#include <QByteArrayView>
#include <QMutex>
#include <QString>

#include <chrono>

// Adds the LISTEN (state 0A) rows of one /proc/net/tcp or /proc/net/tcp6 table.
void parseProcNetTcp(QByteArrayView table, ListeningSockets& sockets);

// The kernel's own tables read directly: the same records as lsof's field output, at a
// fraction of its cost, since only socket descriptors are looked at, and after the first
// scan mostly only those of processes that changed (see SocketOwnerWalk).
class ProcNetSource final : public PortSource
{
public:
    enum class Walk
    {
        Incremental, // learn from the previous scan
        Full,        // walk every process on every scan
    };

    // The root is a parameter so tests can hand in a tree of their own.
    explicit ProcNetSource(QString procRoot = QStringLiteral("/proc"),
                           Walk walk = Walk::Incremental,
                           std::chrono::milliseconds fullWalkEvery = std::chrono::seconds(60));
    ~ProcNetSource() override;

    // Queries from several threads take turns: a query that arrives while another runs
    // waits for it, and then costs only a check of what changed, which is cheaper than a
    // second walk alongside.
    QueryResult query() override;

    SocketOwnerWalk::Counts counts() const;

private:
    const QString m_procRoot;
    const Walk m_walkMode;
    mutable QMutex m_walkMutex;
    SocketOwnerWalk m_walk;
};
