#pragma once

#include "listeningport.h"

#include <QByteArray>
#include <QList>

// The tool's two output forms, in the list's order.
// PORT, PID, USER, ADDRESS and COMMAND columns under a header, numbers right-aligned; "-"
// for what a record does not have (no process; a source that names no user). The
// addresses are joined by ",". COMMAND comes last, since names may hold spaces.
QByteArray formatPortTable(const QList<ListeningPort>& ports);
// A JSON array of {"port", "pid", "processName", "user", "addresses", "program", "unit",
// "container"} objects; "pid" is null for a record without a process, and "processName"
// too unless the source named one; the last three are null where the record has none. Numbers are written as exact
// decimal integers (a JSON library holding them as doubles would round 64-bit values).
QByteArray formatPortJson(const QList<ListeningPort>& ports);
