#pragma once

#include <QString>

// What became of asking a service manager or a container engine to stop something.
struct StopResult
{
    enum class Outcome
    {
        Stopped,
        Gone,        // no such unit or container (any more)
        Refused,     // not allowed: authorization refused or dismissed
        NoAnswer,    // the service did not answer in time
        Unreachable, // there is no service to ask
        Failed,      // the service said no; detail has its words
    };

    Outcome outcome = Outcome::Failed;
    // The service's own words where it gave some, printable and bounded.
    QString detail;
};
