#include "procnetsource.h"

#include "portlistbuilder.h"
#include "procfiles.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <utility>
#include <vector>

using namespace ProcFiles;

namespace {

// The kernel prints an address as 32-bit words in hex, each word as the machine holds it:
// "0100007F" is 127.0.0.1 on a little-endian machine.
ListeningPort::Protocol protocolOf(const ListeningSocket& socket)
{
    return socket.udp ? ListeningPort::Protocol::Udp : ListeningPort::Protocol::Tcp;
}

std::optional<SocketAddress> parseTableAddress(QByteArrayView hex)
{
    if (hex.size() != 8 && hex.size() != 32)
        return std::nullopt;
    SocketAddress address;
    address.family = hex.size() == 8 ? AF_INET : AF_INET6;
    for (qsizetype word = 0; word < hex.size() / 8; ++word) {
        const auto value = parseHex(hex.sliced(word * 8, 8));
        if (!value)
            return std::nullopt;
        const auto held = quint32(*value);
        std::memcpy(address.bytes.data() + word * 4, &held, 4);
    }
    return address;
}

} // namespace

void parseProcNetTable(QByteArrayView table, ListeningSockets& sockets, bool udp,
                       std::vector<ListeningSocket>* established)
{
    const QByteArrayView listening = udp ? "07" : "0A";
    // "  sl  local_address rem_address   st tx_queue:rx_queue tr:tm->when retrnsmt   uid
    //  timeout inode ..." -- the first line is that header.
    qsizetype start = table.indexOf('\n');
    while (start >= 0 && start < table.size()) {
        const qsizetype newline = table.indexOf('\n', start + 1);
        const QByteArrayView line =
            table.sliced(start + 1, (newline < 0 ? table.size() : newline) - start - 1);
        start = newline;

        QByteArrayView fields[10];
        int count = 0;
        qsizetype i = 0;
        while (count < 10 && i < line.size()) {
            while (i < line.size() && line[i] == ' ')
                ++i;
            const qsizetype begin = i;
            while (i < line.size() && line[i] != ' ')
                ++i;
            if (i > begin)
                fields[count++] = line.sliced(begin, i - begin);
        }
        const bool isEstablished = established && !udp && fields[3] == "01";
        if (count < 10 || (fields[3] != listening && !isEstablished))
            continue;
        const QByteArrayView local = fields[1];
        const qsizetype colon = local.lastIndexOf(':');
        if (colon < 0)
            continue;
        const auto address = parseTableAddress(local.first(colon));
        const auto port = parseHex(local.sliced(colon + 1));
        const auto uid = parseUnsigned(fields[7]);
        const auto inode = parseUnsigned(fields[9]);
        if (!address || !port || *port > 0xffff || !uid || *uid > 0xffffffff || !inode)
            continue;
        const ListeningSocket socket{udp, quint16(*port), quint32(*uid), *address};
        if (isEstablished)
            established->push_back(socket);
        else if (*inode != 0)
            sockets.insert(*inode, socket);
    }
}

namespace {

// Descriptors the walk may keep open between scans: a fraction of what this process may
// open, so that the rest of the program never runs short.
int heldDescriptorBudget()
{
    rlimit limit = {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    if (limit.rlim_cur == RLIM_INFINITY)
        return 4096;
    return int(std::clamp<rlim_t>(limit.rlim_cur / 2, 64, 4160) - 64);
}

// How many TCP and UDP sockets, IPv4 and IPv6, this network namespace holds in the
// kernel's tables (TCP listeners and connections; bound UDP sockets): "inuse" in
// /proc/net/sockstat and sockstat6, indexed [udp][ipv6]; none where unreadable.
using SocketCounts = std::array<std::array<std::optional<quint64>, 2>, 2>;
SocketCounts socketsInUse(int procFd)
{
    SocketCounts counts;
    const char* const paths[2] = {"net/sockstat", "net/sockstat6"};
    const QByteArrayView keys[2][2] = {{"\nTCP: inuse ", "\nTCP6: inuse "},
                                       {"\nUDP: inuse ", "\nUDP6: inuse "}};
    QByteArray text;
    for (int family = 0; family < 2; ++family) {
        if (!readFile(procFd, paths[family], text))
            continue;
        text.prepend('\n');
        for (int udp = 0; udp < 2; ++udp) {
            const QByteArrayView key = keys[udp][family];
            const qsizetype at = text.indexOf(key);
            if (at < 0)
                continue;
            const qsizetype from = at + key.size();
            qsizetype end = from;
            while (end < text.size() && text.at(end) >= '0' && text.at(end) <= '9')
                ++end;
            counts[udp][family] = parseUnsigned(QByteArrayView(text).sliced(from, end - from));
        }
    }
    return counts;
}

// The values line of /proc/net/snmp's TCP counters (opens, resets, established, segments
// in and out, retransmissions); empty where unreadable. Every entry to or exit from the
// established state moves one of them, bar one: a socket put there by TCP_REPAIR (a
// checkpoint restored) in the same interval as another one's close whose FIN cannot leave
// yet. A connection's local port and address never change.
QByteArray tcpCounters(int procFd)
{
    QByteArray text;
    if (!readFile(procFd, "net/snmp", text))
        return {};
    const qsizetype names = text.indexOf("\nTcp: ");
    const qsizetype values = names < 0 ? -1 : text.indexOf("\nTcp: ", names + 1);
    if (values < 0)
        return {};
    const qsizetype end = text.indexOf('\n', values + 1);
    return text.mid(values + 1, end < 0 ? -1 : end - values - 1);
}

// How many of the established connections each TCP listener has: those on its port and
// family, on its address or, for a wildcard listener, any.
QHash<quint64, qint32> countConnections(const ListeningSockets& sockets,
                                        const std::vector<ListeningSocket>& established)
{
    QHash<quint64, qint32> counts;
    QMultiHash<quint32, quint64> listeners; // (family, port): inode
    for (auto it = sockets.cbegin(); it != sockets.cend(); ++it) {
        if (!it->udp) {
            listeners.insert(quint32(it->address.family) << 16 | it->port, it.key());
            counts.insert(it.key(), 0);
        }
    }
    static constexpr std::array<quint8, 16> wildcard = {};
    for (const ListeningSocket& connection : established) {
        const quint32 key = quint32(connection.address.family) << 16 | connection.port;
        for (auto it = listeners.constFind(key); it != listeners.cend() && it.key() == key; ++it) {
            const SocketAddress& address = sockets.constFind(it.value())->address;
            if (address.bytes == wildcard || address.bytes == connection.address.bytes)
                ++counts[it.value()];
        }
    }
    return counts;
}

} // namespace

ProcNetSource::ProcNetSource(QString procRoot, Walk walk, std::chrono::milliseconds fullWalkEvery,
                             Sockets sockets, std::shared_ptr<ContainerNames> containerNames)
    : m_procRoot(std::move(procRoot)), m_walkMode(walk), m_socketsFrom(sockets),
      m_containerNames(std::move(containerNames)), m_fullWalkEvery(fullWalkEvery),
      m_walk(fullWalkEvery, heldDescriptorBudget())
{}

ProcNetSource::~ProcNetSource() = default;

SocketOwnerWalk::Counts ProcNetSource::counts() const
{
    const QMutexLocker lock(&m_walkMutex);
    return m_walk.counts();
}

bool ProcNetSource::readTables(int procFd, bool udp, ListeningSockets& sockets,
                               std::vector<ListeningSocket>* established, QString& reason)
{
    const char* const names[2][2] = {{"net/tcp", "net/tcp6"}, {"net/udp", "net/udp6"}};
    QByteArray table;
    for (const char* name : names[udp]) {
        if (readFile(procFd, name, table)) {
            parseProcNetTable(table, sockets, udp, established);
        } else if (errno != ENOENT || name == names[udp][0]) {
            // Without IPv6 there is no tcp6 table, and nothing listens there.
            reason = QStringLiteral("cannot read %1/%2: %3")
                         .arg(m_procRoot, QLatin1String(name), qt_error_string(errno));
            return false;
        }
    }
    return true;
}

bool ProcNetSource::readSockets(int procFd, ListeningSockets& sockets,
                                std::vector<ListeningSocket>* established, QString& reason)
{
    const auto add = [&sockets](quint64 inode, const ListeningSocket& socket) {
        sockets.insert(inode, socket);
    };
    // Every dump walks a whole table of the kernel's: a family that holds no socket of a
    // protocol in this namespace is not asked for.
    const SocketCounts inUse =
        m_socketsFrom == Sockets::Diagnostics ? socketsInUse(procFd) : SocketCounts();
    for (const bool udp : {false, true}) {
        if (m_socketsFrom == Sockets::Diagnostics) {
            // A kernel may lack one protocol's diagnostics (a module not loaded): that
            // protocol alone comes from the tables, which list again, under the same
            // inodes, whatever the diagnostics gave before they said so.
            std::array<bool, 2> families;
            for (int family = 0; family < 2; ++family)
                families[family] = inUse[udp][family].value_or(1) > 0;
            const auto result =
                m_diagnostics.list(udp ? SockDiag::Dump::UdpBound : SockDiag::Dump::TcpListening,
                                   add, reason, {}, families);
            if (result == SockDiagSocket::Result::Failed)
                return false;
            if (result == SockDiagSocket::Result::Ok) {
                if (udp || !established)
                    continue;
                // The TCP listeners' ports by family, for the kernel to match the connections
                // against: an IPv6 listener's connections are IPv6 sockets, IPv4-mapped ones
                // included.
                std::array<QList<quint16>, 2> ports;
                for (const ListeningSocket& socket : std::as_const(sockets)) {
                    if (!socket.udp)
                        ports[socket.address.family == AF_INET6].append(socket.port);
                }
                for (int family = 0; family < 2; ++family) {
                    // The kernel walks its whole established table for a dump, which costs
                    // more than all the rest of a steady scan; where this namespace holds
                    // no TCP socket but the listeners, nothing is connected to count.
                    if (inUse[0][family] == quint64(ports[family].size()))
                        ports[family].clear();
                    std::sort(ports[family].begin(), ports[family].end());
                    ports[family].erase(std::unique(ports[family].begin(), ports[family].end()),
                                        ports[family].end());
                }
                // The dump costs the most on a machine with many connections, where
                // nothing need have moved since the last one: then its answer still holds.
                const QByteArray counters = tcpCounters(procFd);
                // (Element by element: QList's own == hands memcmp a null pointer for an
                // empty list that never held anything.)
                const auto samePorts = [&](int family) {
                    return std::ranges::equal(ports[family], m_lastCounted.ports[family]);
                };
                if (!counters.isEmpty() && counters == m_lastCounted.counters && samePorts(0) &&
                    samePorts(1)) {
                    m_lastCounted.reused = true;
                    continue;
                }
                m_lastCounted = {};
                const auto counted = m_diagnostics.list(
                    SockDiag::Dump::TcpEstablished,
                    [established](quint64, const ListeningSocket& socket) {
                        established->push_back(socket);
                    },
                    reason, ports);
                if (counted == SockDiagSocket::Result::Failed)
                    return false;
                m_lastCounted.counters = counters;
                m_lastCounted.ports = ports;
                m_lastCounted.established = *established;
                continue;
            }
        }
        if (!readTables(procFd, udp, sockets, udp ? nullptr : established, reason))
            return false;
    }
    return true;
}

const QString& ProcNetSource::textOf(const SocketAddress& address)
{
    const auto known = m_addressTexts.constFind(address);
    if (known != m_addressTexts.cend())
        return known.value();
    return m_addressTexts.insert(address, addressText(address)).value();
}

QString ProcNetSource::containerOf(const OwnerFacts::Facts& facts) const
{
    if (!facts.proxy)
        return facts.place.container;
    const QString name =
        m_containerNames ? m_containerNames->nameAt(facts.proxy->address) : QString();
    return name.isEmpty() ? facts.proxy->text() : name;
}

QueryResult ProcNetSource::query()
{
    // The sockets are read under the lock too: the walk compares them with the previous
    // scan's.
    const QMutexLocker lock(&m_walkMutex);
    const QByteArray root = m_procRoot.toLocal8Bit();
    const Fd proc(::open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!proc.isValid())
        return QueryResult::failure(
            QueryError::Unreadable,
            QStringLiteral("cannot open %1: %2").arg(m_procRoot, qt_error_string(errno)));
    ListeningSockets sockets;
    std::vector<ListeningSocket> established;
    const bool counting = m_countConnections;
    QString reason;
    m_lastCounted.reused = false;
    if (!readSockets(proc.get(), sockets, counting ? &established : nullptr, reason))
        return QueryResult::failure(QueryError::Unreadable, reason);
    QHash<quint64, qint32> connections;
    if (counting) {
        Counted& last = m_lastCounted;
        // Without connections, counting is cheaper than telling whether the listeners moved.
        if (!last.reused || last.established.empty() || last.countedFor != sockets) {
            last.counts = countConnections(sockets, last.reused ? last.established : established);
            last.countedFor = sockets;
        }
        connections = last.counts;
    }
    const auto connectionsOf = [&connections](quint64 inode) {
        return connections.value(inode, -1);
    };

    // Who holds what, gathered first: when it is what the last scan found, that scan's
    // list is handed out again, sharing its data, rather than built anew.
    struct Holder
    {
        quint64 inode;
        qint32 pid;
        QString name;
        quint64 startTime;
        const OwnerFacts::Facts* facts; // the walk's, unchanged until its next scan
    };
    std::vector<Holder> holders;
    holders.reserve(size_t(sockets.size()));
    const quint64 fullWalks = m_walk.counts().fullWalks;
    m_walk.setFullWalkEvery(counting ? m_fullWalkEvery : m_fullWalkEvery * restFactor);
    const bool walkAll = m_walkAll.exchange(false) || m_walkMode == Walk::Full;
    const bool walked =
        m_walk.findOwners(proc.get(), sockets, walkAll,
                          [&](quint64 inode, qint32 pid, const QString& name, quint64 startTime,
                              const OwnerFacts::Facts& facts) {
                              holders.push_back({inode, pid, name, startTime, &facts});
                          });
    if (!walked) {
        m_lastSockets.clear();
        return QueryResult::failure(QueryError::Unreadable,
                                    QStringLiteral("cannot list the processes in %1: %2")
                                        .arg(m_procRoot, qt_error_string(errno)));
    }
    // The engine names a proxy's container between scans, whatever the walk saw.
    QStringList proxyContainers;
    for (const Holder& holder : holders) {
        if (holder.facts->proxy)
            proxyContainers.append(containerOf(*holder.facts));
    }
    if (m_walk.sameOwnersAsBefore() && sockets == m_lastSockets &&
        proxyContainers == m_lastProxyContainers && connections == m_lastConnections)
        return QueryResult{m_lastPorts, QueryError::None, {}};

    if (m_walk.counts().fullWalks != fullWalks) {
        m_users.clear();
        m_addressTexts.clear();
    }
    PortListBuilder builder;
    builder.reserve(sockets.size());
    std::vector<quint64> held;
    held.reserve(holders.size());
    auto proxyContainer = proxyContainers.cbegin(); // named above, in the holders' order
    for (const Holder& holder : holders) {
        const ListeningSocket& socket = sockets.constFind(holder.inode).value();
        const OwnerFacts::Facts& facts = *holder.facts;
        builder.add(socket.port, holder.pid, holder.name, textOf(socket.address),
                    m_users.name(socket.uid), holder.startTime,
                    {facts.program, facts.place.unit,
                     facts.proxy ? *proxyContainer++ : facts.place.container},
                    holder.inode, protocolOf(socket), connectionsOf(holder.inode));
        held.push_back(holder.inode);
    }
    // Whatever no process we can see holds is still listed, by port and user.
    std::sort(held.begin(), held.end());
    for (auto it = sockets.cbegin(); it != sockets.cend(); ++it) {
        if (!std::binary_search(held.cbegin(), held.cend(), it.key()))
            builder.add(it->port, 0, {}, textOf(it->address), m_users.name(it->uid), 0, {}, 0,
                        protocolOf(*it), connectionsOf(it.key()));
    }
    m_lastSockets = std::move(sockets);
    m_lastConnections = connections;
    m_lastProxyContainers = std::move(proxyContainers);
    m_lastPorts = builder.take();
    return QueryResult{m_lastPorts, QueryError::None, {}};
}
