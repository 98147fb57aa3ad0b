#include "procnetsource.h"

#include "commandname.h"
#include "lsofparser.h"

#include <QVarLengthArray>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <unistd.h>
#include <utility>

namespace {

class Fd
{
public:
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }
    bool isValid() const { return m_fd >= 0; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

struct DirCloser
{
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using Dir = std::unique_ptr<DIR, DirCloser>;

// Opens a directory relative to dirFd for reading its entries.
Dir openDir(int dirFd, const char* path)
{
    Fd fd(::openat(dirFd, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.isValid())
        return nullptr;
    Dir dir(::fdopendir(fd.get()));
    if (dir)
        fd.release();
    return dir;
}

// Reads a whole file; errno is left set on failure.
bool readFile(int dirFd, const char* path, QByteArray& out)
{
    Fd fd(::openat(dirFd, path, O_RDONLY | O_CLOEXEC));
    if (!fd.isValid())
        return false;
    out.clear();
    qsizetype used = 0;
    out.resize(16384);
    for (;;) {
        if (used == out.size())
            out.resize(out.size() * 2);
        const ssize_t n = ::read(fd.get(), out.data() + used, size_t(out.size() - used));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            break;
        used += n;
    }
    out.truncate(used);
    return true;
}

bool isDecimal(const char* text)
{
    if (!*text)
        return false;
    for (; *text; ++text) {
        if (*text < '0' || *text > '9')
            return false;
    }
    return true;
}

std::optional<quint64> parseHex(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 16)
        return std::nullopt;
    quint64 value = 0;
    for (const char ch : text) {
        int digit;
        if (ch >= '0' && ch <= '9')
            digit = ch - '0';
        else if (ch >= 'A' && ch <= 'F')
            digit = ch - 'A' + 10;
        else if (ch >= 'a' && ch <= 'f')
            digit = ch - 'a' + 10;
        else
            return std::nullopt;
        value = (value << 4) | quint64(digit);
    }
    return value;
}

std::optional<quint64> parseUnsigned(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 19)
        return std::nullopt;
    quint64 value = 0;
    for (const char ch : text) {
        if (ch < '0' || ch > '9')
            return std::nullopt;
        value = value * 10 + quint64(ch - '0');
    }
    return value;
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
        const auto port = parseHex(local.sliced(colon + 1));
        const auto inode = parseUnsigned(fields[9]);
        if (!port || *port > 0xffff || !inode || *inode == 0)
            continue;
        sockets.insert(*inode, quint16(*port));
    }
}

SocketOwnerWalk::SocketOwnerWalk(QString procRoot) : m_procRoot(procRoot.toLocal8Bit()) {}

void SocketOwnerWalk::findOwners(const ListeningSockets& sockets, PortListBuilder& builder)
{
    const Fd proc(::open(m_procRoot.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!proc.isValid())
        return;
    const Dir processes = openDir(proc.get(), ".");
    if (!processes)
        return;

    static constexpr char socketPrefix[] = "socket:[";
    static constexpr qsizetype socketPrefixLength = sizeof socketPrefix - 1;
    char path[sizeof(dirent::d_name) + 8];
    char link[64];
    QVarLengthArray<quint16, 8> ports;
    QByteArray comm;

    while (const dirent* entry = ::readdir(processes.get())) {
        if (!isDecimal(entry->d_name))
            continue;
        const auto pid = LsofParser::parseInt32(QByteArrayView(entry->d_name));
        if (!pid)
            continue;
        std::snprintf(path, sizeof path, "%s/fd", entry->d_name);
        // Gone already, or another user's: skipped without a word, as lsof does.
        const Dir fds = openDir(proc.get(), path);
        if (!fds)
            continue;
        ports.clear();
        const int fdsFd = ::dirfd(fds.get());
        while (const dirent* fdEntry = ::readdir(fds.get())) {
            if (fdEntry->d_name[0] == '.')
                continue;
            const ssize_t length = ::readlinkat(fdsFd, fdEntry->d_name, link, sizeof link);
            if (length <= socketPrefixLength + 1 || length >= qsizetype(sizeof link) ||
                std::memcmp(link, socketPrefix, socketPrefixLength) != 0 || link[length - 1] != ']')
                continue;
            const auto inode = parseUnsigned(
                QByteArrayView(link + socketPrefixLength, length - socketPrefixLength - 1));
            if (!inode)
                continue;
            const auto found = sockets.constFind(*inode);
            if (found != sockets.cend())
                ports.append(found.value());
        }
        if (ports.isEmpty())
            continue;
        std::snprintf(path, sizeof path, "%s/comm", entry->d_name);
        if (!readFile(proc.get(), path, comm))
            continue; // vanished between the two reads
        if (comm.endsWith('\n'))
            comm.chop(1);
        const QString name = escapeCommandName(comm);
        for (const quint16 port : ports)
            builder.add(port, *pid, name);
    }
}

ProcNetSource::ProcNetSource(QString procRoot)
    : m_procRoot(std::move(procRoot)), m_walk(std::make_unique<SocketOwnerWalk>(m_procRoot))
{}

ProcNetSource::~ProcNetSource() = default;

QueryResult ProcNetSource::query()
{
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
    if (!sockets.isEmpty()) {
        QMutexLocker lock(&m_walkMutex);
        m_walk->findOwners(sockets, builder);
    }
    return QueryResult{builder.take(), QueryError::None, {}};
}
