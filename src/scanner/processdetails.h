#pragma once

#include <QString>
#include <QtGlobal>

// What tells apart several processes of the same name. Read only when a tooltip asks for
// it, never on a scan.
struct ProcessDetails
{
    QString commandLine;   // arguments joined by spaces; empty when unreadable
    QString workingFolder; // empty when unreadable (e.g. another user's process)
};

ProcessDetails readProcessDetails(qint32 pid);
