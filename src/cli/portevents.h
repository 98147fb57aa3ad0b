#pragma once

#include "listeningport.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>

// A record that appeared or went between two scans.
struct PortEvent
{
    enum class Kind
    {
        Listening,
        Closed,
    };
    Kind kind;
    ListeningPort port;

    friend bool operator==(const PortEvent&, const PortEvent&) = default;
};

// What changed from one list to the next: the records that went, then the ones that came,
// each in its list's order. A record whose fields change (an address more, an owner fact
// learned later) goes and comes again, so a reader that applies the events holds the list
// as --json writes it; connection counts, which change all the time, are not compared.
QList<PortEvent> portEvents(const QList<ListeningPort>& before, const QList<ListeningPort>& after);

// One JSON Lines entry: {"event": "listening" or "closed", "time": ISO 8601 in UTC with
// milliseconds, then the record's fields as --json writes them}, and a line feed.
QByteArray formatEventJson(const PortEvent& event, const QDateTime& time);
// One line for a terminal, the time in the local zone, "+" for listening and "-" for closed,
// then port/protocol, owner and who can reach it:
// "03:10:04  + 5173/tcp  node (pid 4242)  loopback".
QByteArray formatEventLine(const PortEvent& event, const QDateTime& time);
