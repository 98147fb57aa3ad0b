#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include <memory>
#include <optional>

// Who brings a port's owner back after it was ended: its systemd unit, its container, or a
// process that supervises it. What can tell is taken from the owner before it is ended (its
// lineage) and compared with the process that listens afterwards.

// One process as far as telling its supervisor goes.
struct LineageProcess
{
    qint32 pid = 0;
    qint32 parentPid = 0; // 0: none, or outside our pid namespace
    qint32 session = 0;   // its session leader's pid; 0 outside our pid namespace
    quint64 startTime = 0;
    quint32 uid = 0;
    // The program as a user knows it: the whole name where the kernel cut it, and for an
    // interpreter the script it runs ("nodemon" for "node /usr/bin/nodemon").
    QString program;
    // The systemd service it runs in, and whether a user's service manager runs that.
    QString unit;
    bool userUnit = false;
    QString container; // the short id

    bool isSessionLeader() const { return session == pid; }
    // The system's or a user's service manager ("systemd", "systemd --user").
    bool isServiceManager() const { return program == u"systemd"; }
    // Whether it is the same process as other, not one that reuses its pid.
    bool isSame(const LineageProcess& other) const
    {
        return pid == other.pid && startTime == other.startTime;
    }
};

// An owner and its ancestors, parent first, up to pid 1 (or the first one out of sight).
struct Lineage
{
    LineageProcess process;
    QList<LineageProcess> ancestors;
    // The container engine's name for process.container, where it is known.
    QString containerName;
};

// Reads processes from /proc, or from rows a test feeds.
class ProcessTable
{
public:
    virtual ~ProcessTable() = default;
    // Nothing when there is no such process (or it can't be read).
    virtual std::optional<LineageProcess> read(qint32 pid) const = 0;

    // /proc on Linux; elsewhere a table that knows no process.
    static std::shared_ptr<const ProcessTable> platform();
};

// The process and its ancestors as the table has them now; nothing when the process is gone
// or is not the one started at startTime (0: any). The walk stops at a parent that started
// after its child (its pid was reused), at one out of sight, and after 64 generations.
std::optional<Lineage> readLineage(const ProcessTable& table, qint32 pid, quint64 startTime = 0);

// Who started a port's new owner again.
struct RestartCause
{
    enum class Kind
    {
        None, // nothing that the old and the new owner share tells
        Unit,
        Container,
        Supervisor,
    };
    Kind kind = Kind::None;
    // Unit: the service both run in, and whether a user's manager runs it (whose: uid).
    QString unit;
    bool userUnit = false;
    quint32 uid = 0;
    // Container: its short id and, where known, its name.
    QString container;
    QString containerName;
    // Supervisor: the process, to be ended in turn the same safe way.
    qint32 pid = 0;
    quint64 startTime = 0;
    QString program;

    friend bool operator==(const RestartCause&, const RestartCause&) = default;
};

// Why newOwner listens where the process of before did: the same unit (a user's unit only
// for the same user), else the same container, else the nearest ancestor the two share
// that supervises -- not pid 1, not a service manager, not a session's leader, nor one above
// those.
RestartCause findRestartCause(const Lineage& before, const Lineage& newOwner);
