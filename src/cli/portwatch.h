#pragma once

#include "listeningport.h"
#include "portsource.h"

#include <chrono>
#include <functional>

class QEventLoop;

struct WatchOptions
{
    std::chrono::milliseconds interval{5000};
    bool json = false;
    // Whether a record is asked about (ports and protocols given on the command line).
    std::function<bool(const ListeningPort&)> wanted;
};

// From now on SIGINT and SIGTERM end LOOP with the signal's number as its exit code, instead
// of ending the program at once, so that it can end its own children first.
bool endOnStopSignals(QEventLoop& loop);

// tidewatch-ports --watch: writes the first scan's records as "listening" events, then every
// INTERVAL what changed, flushed after each scan; a failed scan says why on standard error
// and the watch goes on. Runs until SIGINT, SIGTERM or a closed standard output, all of
// which end it with status 0. FIRST is the first scan, which may wait for container names.
int watchPorts(PortSource& source, const std::function<QueryResult()>& first,
               const WatchOptions& options);
