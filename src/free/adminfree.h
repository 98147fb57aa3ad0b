#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

// Frees a port whose owner belongs to another user by running
// `pkexec tidewatch-ports --free PORT`: polkit asks for an administrator's password, and the
// command-line tool, run as root, ends that port's owners and says on one line per port
// whether it is free. Started directly with its arguments as a list, never through a shell.
class AdminFree : public QObject
{
    Q_OBJECT

public:
    struct Result
    {
        enum class Outcome
        {
            Done,      // the tool ran; lines say what became of the port
            Dismissed, // no authorization (dismissed or refused): nothing was ended
            NotRun,    // pkexec or the tool could not be started, or did not finish in time
        };
        Outcome outcome = Outcome::NotRun;
        int exitCode = -1;
        // The tool's lines about the port ("8080: free"), printable.
        QStringList lines;
    };
    using Done = std::function<void(const Result&)>;

    // pkexec: the program that asks polkit (a stand-in in tests); tool: tidewatch-ports, by
    // its absolute path, which polkit's action names.
    AdminFree(QString pkexec, QString tool, QObject* parent = nullptr);

    // Whether there is a pkexec to run.
    bool isAvailable() const;
    // done runs once, on this thread, unless context is gone by then.
    void freePort(quint16 port, const QObject* context, Done done);

    // The authorization dialog waits for the user; a run that takes longer than this is
    // ended.
    std::chrono::milliseconds finishWithin{std::chrono::minutes(2)};

    // The tidewatch-ports beside this program.
    static QString toolBesideProgram();

private:
    const QString m_pkexec;
    const QString m_tool;
};
