#pragma once

#include <QString>
#include <QtGlobal>

// Who a process is: its pid, and what tells it apart from a later process that reuses the
// pid -- its start time where the platform gives one (0 when unknown), else its name.
struct ProcessIdentity
{
    qint32 pid = 0;
    QString name; // escaped as the port sources escape names
    quint64 startTime = 0;
};

// Whether the process is still the one a scan saw, and not another that took over its pid:
// the same start time where the scan had one, else the same name.
inline bool isSameProcess(const ProcessIdentity& now, const ProcessIdentity& seen)
{
    return now.pid == seen.pid &&
           (seen.startTime != 0 ? now.startTime == seen.startTime : now.name == seen.name);
}
