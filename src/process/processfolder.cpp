#include "processfolder.h"

#include "commandname.h"
#include "processstat.h"

#include <QByteArray>

#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

std::optional<ProcessFolder> ProcessFolder::open(qint32 pid)
{
    if (pid <= 0)
        return std::nullopt;
    const QByteArray path = "/proc/" + QByteArray::number(pid);
    ProcFiles::Fd fd(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    char line[1024];
    struct stat info = {};
    const qsizetype length =
        fd.isValid() ? ProcFiles::readLine(fd.get(), "stat", line, qsizetype(sizeof line)) : -1;
    const auto stat = length < 0 ? std::nullopt : parseProcessStat(QByteArrayView(line, length));
    if (!stat || ::fstat(fd.get(), &info) != 0)
        return std::nullopt;
    return ProcessFolder(std::move(fd),
                         ProcessIdentity{pid, escapeCommandName(stat->name), stat->startTime},
                         info.st_uid);
}

bool ProcessFolder::holdsSocket(const QList<quint64>& inodes) const
{
    const ProcFiles::Dir fds = ProcFiles::openDir(m_fd.get(), "fd");
    if (!fds)
        return false;
    while (const dirent* entry = ::readdir(fds.get())) {
        char link[PATH_MAX];
        const ssize_t length = ::readlinkat(::dirfd(fds.get()), entry->d_name, link, sizeof link);
        const auto inode = length > 0 ? ProcFiles::socketInode(link, length) : std::nullopt;
        if (inode && inodes.contains(*inode))
            return true;
    }
    return false;
}
