#include "procnetsource.h"

#include "procfiles.h"

#include <cerrno>
#include <fcntl.h>
#include <utility>

using namespace ProcFiles;

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
        const auto port = parseHex(local.sliced(colon + 1));
        const auto inode = parseUnsigned(fields[9]);
        if (!port || *port > 0xffff || !inode || *inode == 0)
            continue;
        sockets.insert(*inode, quint16(*port));
    }
}

ProcNetSource::ProcNetSource(QString procRoot, Walk walk, std::chrono::milliseconds fullWalkEvery)
    : m_procRoot(std::move(procRoot)), m_walkMode(walk), m_walk(fullWalkEvery)
{}

ProcNetSource::~ProcNetSource() = default;

SocketOwnerWalk::Counts ProcNetSource::counts() const
{
    const QMutexLocker lock(&m_walkMutex);
    return m_walk.counts();
}

QueryResult ProcNetSource::query()
{
    // The tables are read under the lock too: the walk compares them with the previous
    // scan's.
    const QMutexLocker lock(&m_walkMutex);
    const QByteArray root = m_procRoot.toLocal8Bit();
    const Fd proc(::open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!proc.isValid())
        return QueryResult::failure(
            QueryError::Unreadable,
            QStringLiteral("cannot open %1: %2").arg(m_procRoot, qt_error_string(errno)));
    ListeningSockets sockets;
    QByteArray table;
    if (!readFile(proc.get(), "net/tcp", table))
        return QueryResult::failure(
            QueryError::Unreadable,
            QStringLiteral("cannot read %1/net/tcp: %2").arg(m_procRoot, qt_error_string(errno)));
    parseProcNetTcp(table, sockets);
    // Without IPv6 there is no tcp6 table, and nothing listens there.
    if (readFile(proc.get(), "net/tcp6", table))
        parseProcNetTcp(table, sockets);
    else if (errno != ENOENT)
        return QueryResult::failure(
            QueryError::Unreadable,
            QStringLiteral("cannot read %1/net/tcp6: %2").arg(m_procRoot, qt_error_string(errno)));

    PortListBuilder builder;
    m_walk.findOwners(proc.get(), sockets, m_walkMode == Walk::Full, builder);
    return QueryResult{builder.take(), QueryError::None, {}};
}
