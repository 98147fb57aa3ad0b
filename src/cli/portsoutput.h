#pragma once

#include "listeningport.h"

#include <QByteArray>
#include <QList>

// The tool's two output forms, in the list's order.
// PORT, PID and COMMAND columns under a header, numbers right-aligned.
QByteArray formatPortTable(const QList<ListeningPort>& ports);
// A JSON array of {"port", "pid", "processName"} objects. Numbers are written as exact
// decimal integers (a JSON library holding them as doubles would round 64-bit values).
QByteArray formatPortJson(const QList<ListeningPort>& ports);
