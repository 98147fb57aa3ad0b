#pragma once

#include "processidentity.h"

#include <QDateTime>
#include <QString>
#include <QtGlobal>

#include <memory>
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

// Reads the details of a process that a scan saw, so tests can replace it.
class ProcessDetailsProvider
{
public:
    virtual ~ProcessDetailsProvider() = default;
    // Empty when that process has ended and its pid belongs to another one now (as a kill
    // checks, see isSameProcess): a row never shows or copies a newcomer's.
    virtual ProcessDetails read(const ProcessIdentity& seen, CommandLineLength length) const = 0;

    // The real one for this platform.
    static std::shared_ptr<const ProcessDetailsProvider> platform();
};

// When a process started, in UTC, from the start time a record carries (the platform's
// clock ticks since boot); absent for 0 and where the clock is unknown.
std::optional<QDateTime> processStartedAt(quint64 startTime);
