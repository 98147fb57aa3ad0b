#pragma once

// Small helpers for reading /proc with plain system calls, shared by the native source's
// table reader and its process walk.

#include <QByteArray>
#include <QByteArrayView>

#include <dirent.h>
#include <memory>
#include <optional>
#include <unistd.h>
#include <utility>

namespace ProcFiles {

class Fd
{
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    Fd(Fd&& other) noexcept : m_fd(other.release()) {}
    Fd& operator=(Fd&& other) noexcept
    {
        Fd(std::move(other)).swap(*this);
        return *this;
    }
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    void swap(Fd& other) noexcept { std::swap(m_fd, other.m_fd); }
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

// Takes over the open directory fd (closed on failure too) for reading its entries.
Dir adoptDir(int fd);
// Opens a directory relative to dirFd for reading its entries.
Dir openDir(int dirFd, const char* path);

// Reads a whole file, or its first limit bytes when limit is not negative; errno is left
// set on failure.
bool readFile(int dirFd, const char* path, QByteArray& out, qsizetype limit = -1);

// Reads a one-line file such as /proc/<pid>/stat into buffer, up to and including its
// newline. Returns the length, or -1 with errno set. A line that does not fit is an error
// (EOVERFLOW), as is a file without a newline (EIO).
qsizetype readLine(int dirFd, const char* path, char* buffer, qsizetype size);

bool isDecimal(const char* text);
// At most 19 digits: more than any inode, start time or descriptor the kernel writes.
std::optional<quint64> parseUnsigned(QByteArrayView text);
std::optional<quint64> parseHex(QByteArrayView text);
// The inode of a "socket:[inode]" link target.
std::optional<quint64> socketInode(const char* link, ssize_t length);

} // namespace ProcFiles
