#pragma once

#include "processidentity.h"

#include <QList>
#include <QString>
#include <QtGlobal>

#include <memory>
#include <optional>

// What became of a signal.
enum class SignalOutcome
{
    Sent,
    Gone,         // the process ended, or its pid now belongs to another process: nothing sent
    NotPermitted, // the system refused (another user's process)
    Failed,       // any other error
};

// The process calls behind the scanner's kill action, so tests can replace them.
class ProcessControl
{
public:
    // One process, held from open() on. Where the platform can (a pidfd on Linux), the
    // handle refers to that very process, so a signal can never reach another one that
    // takes over the pid afterwards; elsewhere the check happens right before the signal.
    class Handle
    {
    public:
        virtual ~Handle() = default;
        // As read right after the process was opened.
        virtual const ProcessIdentity& identity() const = 0;
        // The uid the process runs as, when it can be read.
        virtual std::optional<quint32> owner() const = 0;
        // Whether the process holds one of these sockets (by inode) now; false when it has
        // ended or its descriptors can't be read.
        virtual bool holdsSocket(const QList<quint64>& inodes) const = 0;
        virtual SignalOutcome sendSignal(int signal) = 0;
    };

    virtual ~ProcessControl() = default;

    // Nothing when there is no such process, or this platform cannot tell who it is.
    virtual std::unique_ptr<Handle> open(qint32 pid) const = 0;
    // This program's own pid, which is never signalled.
    virtual qint32 ownPid() const = 0;
    // The uid this program runs as (effective).
    virtual quint32 ownUid() const = 0;

    // The real calls for this platform.
    static std::shared_ptr<ProcessControl> platform();
};
