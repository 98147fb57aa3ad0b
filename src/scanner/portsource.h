#pragma once

#include "listeningport.h"

#include <QList>
#include <QString>

#include <memory>

// Why a query gave no list. The panel cannot tell these apart from "nothing listens";
// the command-line tool can.
enum class QueryError
{
    None,
    StartFailed,   // the lister could not be started
    InvalidUtf8,   // the lister's output was not UTF-8
    TimedOut,      // the lister ran past its bound and was killed
    TooMuchOutput, // the lister wrote more than we keep, and was killed
    Unreadable,    // the kernel's tables could not be read
};

struct QueryResult
{
    QList<ListeningPort> ports; // sorted as PortListBuilder sorts; empty on failure
    QueryError error = QueryError::None;
    QString detail; // human-readable reason when error != None

    bool ok() const { return error == QueryError::None; }
    static QueryResult failure(QueryError error, QString detail)
    {
        return QueryResult{{}, error, std::move(detail)};
    }
};

// Something that lists the listening TCP and UDP sockets and their owners. query() blocks,
// so it runs on a worker thread, and it may run on several at once: implementations that
// keep state between calls lock it themselves.
class PortSource
{
public:
    virtual ~PortSource() = default;
    virtual QueryResult query() = 0;
    // Whether queries count each TCP listener's established connections, which costs a
    // little more: only while someone looks. Off at first; any thread may call it. A
    // source that cannot count leaves the counts out.
    virtual void setCountConnections(bool count) { Q_UNUSED(count); }
};

class ContainerNames;

// The platform's own port source: the kernel's tables on Linux, lsof elsewhere. Where the
// source sees port proxies, containerNames names the containers they forward to.
std::shared_ptr<PortSource>
makePlatformPortSource(std::shared_ptr<ContainerNames> containerNames = {});
