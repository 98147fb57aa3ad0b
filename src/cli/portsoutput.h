#pragma once

#include "listeningport.h"
#include "remoteanswer.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The tool's two output forms, in the list's order.
// PORT, PROTO ("tcp", "udp"), PID, USER, ADDRESS, CONN (established connections) and
// COMMAND columns under a header, numbers right-aligned; "-" for what a record does not
// have (no process; a source that names no user; UDP, or uncounted, connections). The
// addresses are joined by ",". COMMAND comes last, since names may hold spaces.
QByteArray formatPortTable(const QList<ListeningPort>& ports);
// A JSON array of {"port", "pid", "processName", "user", "addresses", "program", "unit",
// "container", "protocol", "connections", "started"} objects; "pid" is null for a record
// without a process, and "processName" too unless the source named one; "program", "unit"
// and "container" are null where the record has none, "connections" for UDP and where
// they were not counted, "started" (ISO 8601 in UTC, to the second) where the owner's
// start is unknown. Numbers are written as exact decimal integers (a JSON library holding
// them as doubles would round 64-bit values).
QByteArray formatPortJson(const QList<ListeningPort>& ports);
// Other machines' lists: the table under a "HOST (SOURCE):" line for each host, the hosts
// apart by a blank line; the JSON array with "host" and "source" first in each record.
QByteArray formatRemoteTable(const QList<RemoteListing>& listings);
QByteArray formatRemoteJson(const QList<RemoteListing>& listings);
// The fields of formatPortJson's object for one record, without the braces.
QByteArray portJsonFields(const ListeningPort& port);
// TEXT as a JSON string, quotes included, appended to OUT.
void appendJsonString(QByteArray& out, const QString& text);
// Text from outside (a lister's names, users, addresses) on a terminal, its unsafe
// characters escaped, so none can move the cursor, recolour the terminal or reorder the line.
QByteArray terminalText(const QString& text);
// The record's protocol as the outputs name it: "tcp" or "udp".
QByteArray protocolName(const ListeningPort& port);
