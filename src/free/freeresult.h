#pragma once

#include "restartcause.h"

#include <QString>
#include <QtGlobal>

// What became of one port that was to be freed.
struct FreeResult
{
    enum class State
    {
        Free,           // nothing listens (also when nothing did to begin with)
        StillListening, // an owner that was asked to end still holds it
        ListeningAgain, // a process that was not asked listens there now
        NotPermitted,   // an owner is another user's and not ours to end: nothing was ended
        Refused,        // an owner that is never ended here (a service manager holding it)
    };
    qint64 port = 0;
    State state = State::Free;
    // The owner that still, or again, listens, or that was not ours to end; pid 0 where it
    // is not visible.
    qint32 pid = 0;
    QString program;
    QString user;        // NotPermitted: whose it is
    bool killed = false; // StillListening: SIGKILL was sent already
    RestartCause cause;  // ListeningAgain
};

// The one line that reports a port, without a newline:
//   "8080: free"
//   "8080: still listening: pid 4242 (python3) ignored the request; --force ends it"
//   "8080: listening again: pid 4250 (node), started by nodemon (pid 4100)"
//   "8080: listening again: pid 4250 (node), restarted by unit vite.service"
//   "8080: listening again: pid 4250 (node), restarted by container web (3f2a9c81e0d4)"
QString freeResultLine(const FreeResult& result);
