#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>

// Runs a program to completion and collects its standard output. Standard error goes to
// /dev/null so the child can never block on it; standard input is inherited. Safe to call
// from several threads at once.
struct ChildRun
{
    enum class Status
    {
        Exited,        // ran to the end; output holds everything it wrote
        StartFailed,   // could not be started; error holds errno
        TimedOut,      // ran past the bound; it was killed and reaped
        TooMuchOutput, // wrote more than the cap; it was killed and reaped
    };

    // Far more than any lister writes; a runaway child must not take all our memory.
    static constexpr qsizetype defaultMaxOutput = 64 * 1024 * 1024;

    Status status = Status::StartFailed;
    QByteArray output;
    int exitStatus = -1; // the raw waitpid() status when it exited
    int error = 0;       // errno when it could not be started

    static ChildRun run(const QString& program, const QStringList& arguments,
                        std::chrono::milliseconds timeout, qsizetype maxOutput = defaultMaxOutput);
};
