#include "procnetsource.h"

#include "portlistbuilder.h"
#include "procfiles.h"

#include <algorithm>
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

void parseProcNetTcp(QByteArrayView table, ListeningSockets& sockets)
{
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
        if (count < 10 || fields[3] != "0A")
            continue;
        const QByteArrayView local = fields[1];
        const qsizetype colon = local.lastIndexOf(':');
        if (colon < 0)
            continue;
        const auto address = parseTableAddress(local.first(colon));
        const auto port = parseHex(local.sliced(colon + 1));
        const auto uid = parseUnsigned(fields[7]);
        const auto inode = parseUnsigned(fields[9]);
        if (!address || !port || *port > 0xffff || !uid || *uid > 0xffffffff || !inode ||
            *inode == 0)
            continue;
        sockets.insert(*inode, ListeningSocket{quint16(*port), quint32(*uid), *address});
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

} // namespace

ProcNetSource::ProcNetSource(QString procRoot, Walk walk, std::chrono::milliseconds fullWalkEvery,
                             Sockets sockets, std::shared_ptr<ContainerNames> containerNames)
    : m_procRoot(std::move(procRoot)), m_walkMode(walk), m_socketsFrom(sockets),
      m_containerNames(std::move(containerNames)), m_walk(fullWalkEvery, heldDescriptorBudget())
{}

ProcNetSource::~ProcNetSource() = default;

SocketOwnerWalk::Counts ProcNetSource::counts() const
{
    const QMutexLocker lock(&m_walkMutex);
    return m_walk.counts();
}

bool ProcNetSource::readSockets(int procFd, ListeningSockets& sockets, QString& reason)
{
    if (m_socketsFrom == Sockets::Diagnostics) {
        switch (m_diagnostics.listListening(sockets, reason)) {
        case SockDiagSocket::Result::Ok:
            return true;
        case SockDiagSocket::Result::Failed:
            return false;
        case SockDiagSocket::Result::Unavailable:
            sockets.clear();
            break;
        }
    }
    QByteArray table;
    if (!readFile(procFd, "net/tcp", table)) {
        reason =
            QStringLiteral("cannot read %1/net/tcp: %2").arg(m_procRoot, qt_error_string(errno));
        return false;
    }
    parseProcNetTcp(table, sockets);
    // Without IPv6 there is no tcp6 table, and nothing listens there.
    if (readFile(procFd, "net/tcp6", table)) {
        parseProcNetTcp(table, sockets);
    } else if (errno != ENOENT) {
        reason =
            QStringLiteral("cannot read %1/net/tcp6: %2").arg(m_procRoot, qt_error_string(errno));
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
    QString reason;
    if (!readSockets(proc.get(), sockets, reason))
        return QueryResult::failure(QueryError::Unreadable, reason);

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
    const bool walked =
        m_walk.findOwners(proc.get(), sockets, m_walkMode == Walk::Full,
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
        proxyContainers == m_lastProxyContainers)
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
                    holder.inode);
        held.push_back(holder.inode);
    }
    // Whatever no process we can see holds is still listed, by port and user.
    std::sort(held.begin(), held.end());
    for (auto it = sockets.cbegin(); it != sockets.cend(); ++it) {
        if (!std::binary_search(held.cbegin(), held.cend(), it.key()))
            builder.add(it->port, 0, {}, textOf(it->address), m_users.name(it->uid));
    }
    m_lastSockets = std::move(sockets);
    m_lastProxyContainers = std::move(proxyContainers);
    m_lastPorts = builder.take();
    return QueryResult{m_lastPorts, QueryError::None, {}};
}
