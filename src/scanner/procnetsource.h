#pragma once

#include "portlistbuilder.h"
#include "portsource.h"

#include <QByteArrayView>
#include <QHash>
#include <QMutex>
#include <QString>

#include <memory>

// Socket inode -> local port, for the TCP sockets in the LISTEN state.
using ListeningSockets = QHash<quint64, quint16>;

// Adds the LISTEN (state 0A) rows of one /proc/net/tcp or /proc/net/tcp6 table.
void parseProcNetTcp(QByteArrayView table, ListeningSockets& sockets);

// Finds the processes that hold the listening sockets: every /proc/<pid>/fd entry that
// links to socket:[inode], named by /proc/<pid>/comm. Processes that vanish during the
// walk, or whose descriptors we may not read, are skipped, as lsof skips them.
// All per-process work lives here, so that it can learn to carry state from one scan to
// the next; callers serialise calls.
class SocketOwnerWalk
{
public:
    explicit SocketOwnerWalk(QString procRoot);
    void findOwners(const ListeningSockets& sockets, PortListBuilder& builder);

private:
    QByteArray m_procRoot;
};

// The kernel's own tables read directly: the same records as lsof's field output, at a
// fraction of its cost, since only socket descriptors are looked at.
class ProcNetSource final : public PortSource
{
public:
    // The root is a parameter so tests can hand in a tree of their own.
    explicit ProcNetSource(QString procRoot = QStringLiteral("/proc"));
    ~ProcNetSource() override;

    QueryResult query() override;

private:
    const QString m_procRoot;
    QMutex m_walkMutex;
    std::unique_ptr<SocketOwnerWalk> m_walk;
};
