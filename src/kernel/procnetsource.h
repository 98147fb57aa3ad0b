#pragma once

#include "containernames.h"
#include "portsource.h"
#include "sockdiag.h"
#include "socketownerwalk.h"
#include "usernames.h"

#include <QByteArrayView>
#include <QHash>
#include <QMutex>
#include <QString>

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

// Adds the listening rows of one /proc/net/tcp, tcp6, udp or udp6 table (TCP: LISTEN,
// state 0A; UDP: unconnected, state 07), with their user and local address (without the
// interface of a link-local one, which the table does not give). With established given,
// a TCP table's ESTABLISHED rows (01) go there.
void parseProcNetTable(QByteArrayView table, ListeningSockets& sockets, bool udp = false,
                       std::vector<ListeningSocket>* established = nullptr);

// The kernel's own tables read directly: the same records as lsof's field output, at a
// fraction of its cost, since only socket descriptors are looked at, and after the first
// scan mostly only those of processes that changed (see SocketOwnerWalk). Unlike lsof it
// also lists the sockets whose holders it cannot see (another user's, or no process's):
// one record per port and user, without a process.
class ProcNetSource final : public PortSource
{
public:
    enum class Walk
    {
        Incremental, // learn from the previous scan
        Full,        // walk every process on every scan
    };
    // Where the listening sockets come from.
    enum class Sockets
    {
        Diagnostics, // netlink socket diagnostics; the tables where those are unavailable
        Tables,      // /proc/net/tcp and tcp6 under the root, always
    };

    // The root is a parameter so tests can hand in a tree of their own (with Tables).
    // Without containerNames, a port proxy's container shows as its address.
    explicit ProcNetSource(QString procRoot = QStringLiteral("/proc"),
                           Walk walk = Walk::Incremental,
                           std::chrono::milliseconds fullWalkEvery = std::chrono::seconds(60),
                           Sockets sockets = Sockets::Diagnostics,
                           std::shared_ptr<ContainerNames> containerNames = {});
    ~ProcNetSource() override;

    // Queries from several threads take turns: a query that arrives while another runs
    // waits for it, and then costs only a check of what changed, which is cheaper than a
    // second walk alongside.
    QueryResult query() override;
    // While connections are counted, someone looks at the list (the open panel, a
    // query): owners are then walked in full at least every fullWalkEvery, and at once
    // when counting begins. Otherwise (a tray at rest, a watch) every restFactor times that.
    void setCountConnections(bool count) override
    {
        if (count && !m_countConnections.exchange(count))
            m_walkAll = true;
        m_countConnections = count;
    }
    static constexpr int restFactor = 5;

    SocketOwnerWalk::Counts counts() const;

private:
    // Fills sockets from the diagnostics or the tables, TCP and UDP, and with counting on
    // established with the TCP connections on their ports; the reason on failure.
    bool readSockets(int procFd, ListeningSockets& sockets,
                     std::vector<ListeningSocket>* established, QString& reason);
    // Reads the tables of a protocol, IPv4 and IPv6, into sockets.
    bool readTables(int procFd, bool udp, ListeningSockets& sockets,
                    std::vector<ListeningSocket>* established, QString& reason);
    const QString& textOf(const SocketAddress& address);
    // The owner's container: for a port proxy the one it forwards to, by name if known.
    QString containerOf(const OwnerFacts::Facts& facts) const;

    const QString m_procRoot;
    const Walk m_walkMode;
    const Sockets m_socketsFrom;
    const std::shared_ptr<ContainerNames> m_containerNames;
    const std::chrono::milliseconds m_fullWalkEvery;
    std::atomic<bool> m_countConnections = false;
    std::atomic<bool> m_walkAll = false; // the next scan walks every process
    mutable QMutex m_walkMutex;
    SockDiagSocket m_diagnostics;
    SocketOwnerWalk m_walk;
    // Both forgotten at every full walk, so that renamed users and interfaces show.
    UserNames m_users;
    QHash<SocketAddress, QString> m_addressTexts;
    // The last scan's sockets, connection counts, proxies' containers and list.
    ListeningSockets m_lastSockets;
    QHash<quint64, qint32> m_lastConnections;
    // The last dump of connections, what it asked for, and the TCP counters before it;
    // the counts made from it, and for which listeners.
    struct Counted
    {
        QByteArray counters;
        std::array<QList<quint16>, 2> ports;
        std::vector<ListeningSocket> established;
        bool reused = false; // this scan took the dump as it was
        ListeningSockets countedFor;
        QHash<quint64, qint32> counts;
    } m_lastCounted;
    QStringList m_lastProxyContainers;
    QList<ListeningPort> m_lastPorts;
};
