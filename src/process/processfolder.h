#pragma once

#include "processcontrol.h"
#include "procfiles.h"

#include <QList>

#include <optional>

// A process's /proc folder, held open: whatever is read through it is that process's, or
// nothing once it has ended, whoever has its pid by then.
class ProcessFolder
{
public:
    // Opens the folder and reads who the process is (its stat) and its owner through it.
    // Nothing when there is no such process.
    static std::optional<ProcessFolder> open(qint32 pid);

    int fd() const { return m_fd.get(); }
    const ProcessIdentity& identity() const { return m_identity; }
    // The uid the process runs as.
    quint32 owner() const { return m_owner; }
    // Whether one of the process's descriptors is one of these sockets (by inode) now.
    bool holdsSocket(const QList<quint64>& inodes) const;

private:
    ProcessFolder(ProcFiles::Fd fd, ProcessIdentity identity, quint32 owner)
        : m_fd(std::move(fd)), m_identity(std::move(identity)), m_owner(owner)
    {}

    ProcFiles::Fd m_fd;
    ProcessIdentity m_identity;
    quint32 m_owner = 0;
};
