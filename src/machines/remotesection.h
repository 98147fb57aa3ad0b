#pragma once

#include "listeningport.h"
#include "portforwards.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

// What the panel shows of one watched machine: its state, its records and its forwards.
struct RemoteSection
{
    enum class State
    {
        Connecting, // no answer yet
        Listed,     // the last refresh answered
        Unreachable // the last one failed; `reason` says why
    };

    QString host;
    State state = State::Connecting;
    QString reason;    // plain text, from ssh or the parser
    bool lost = false; // it answered before this failure
    QDateTime nextTry; // when an unreachable machine is tried again
    QList<ListeningPort> ports;
    QHash<qint64, ForwardState> forwards; // by the remote port

    friend bool operator==(const RemoteSection&, const RemoteSection&) = default;
};
