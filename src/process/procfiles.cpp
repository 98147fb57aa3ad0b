#include "procfiles.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>

namespace ProcFiles {

Dir adoptDir(int fd)
{
    Fd owned(fd);
    if (!owned.isValid())
        return nullptr;
    Dir dir(::fdopendir(owned.get()));
    if (dir)
        owned.release();
    return dir;
}

Dir openDir(int dirFd, const char* path)
{
    return adoptDir(::openat(dirFd, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

bool readFile(int dirFd, const char* path, QByteArray& out, qsizetype limit)
{
    const Fd fd(::openat(dirFd, path, O_RDONLY | O_CLOEXEC));
    if (!fd.isValid())
        return false;
    out.clear();
    qsizetype used = 0;
    out.resize(limit >= 0 ? limit : 16384);
    while (limit < 0 || used < limit) {
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

qsizetype readLine(int dirFd, const char* path, char* buffer, qsizetype size)
{
    const Fd fd(::openat(dirFd, path, O_RDONLY | O_CLOEXEC));
    if (!fd.isValid())
        return -1;
    qsizetype used = 0;
    // The kernel hands over such a line in one read; the loop is for the rare short read.
    while (used == 0 || buffer[used - 1] != '\n') {
        if (used == size) {
            errno = EOVERFLOW;
            return -1;
        }
        const ssize_t n = ::read(fd.get(), buffer + used, size_t(size - used));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0) {
            errno = EIO;
            return -1;
        }
        used += n;
    }
    return used;
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

std::optional<quint64> socketInode(const char* link, ssize_t length)
{
    static constexpr char prefix[] = "socket:[";
    static constexpr ssize_t prefixLength = sizeof prefix - 1;
    if (length <= prefixLength + 1 || std::memcmp(link, prefix, prefixLength) != 0 ||
        link[length - 1] != ']')
        return std::nullopt;
    return parseUnsigned(QByteArrayView(link + prefixLength, length - prefixLength - 1));
}

} // namespace ProcFiles
