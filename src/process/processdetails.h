#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

#include <optional>

// What tells apart several processes of the same name. Read only when a tooltip or a row's
// menu asks for it, never on a scan.
struct ProcessDetails
{
    QString commandLine;   // arguments joined by spaces; empty when unreadable
    QString workingFolder; // empty when unreadable (e.g. another user's process)
};

// How much of the command line: what fits in a tooltip, or all of it, for the clipboard (cut
// only beyond 1 MiB). Either is cut with an ellipsis.
enum class CommandLineLength
{
    Summary,
    Whole,
};

ProcessDetails readProcessDetails(qint32 pid,
                                  CommandLineLength length = CommandLineLength::Summary);

// When a process started, in UTC, from the start time a record carries (the platform's
// clock ticks since boot); absent for 0 and where the clock is unknown.
std::optional<QDateTime> processStartedAt(quint64 startTime);
