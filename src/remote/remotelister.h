#pragma once

#include "remoteanswer.h"

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>

// Lists one host's listening ports over the user's own ssh, asynchronously: one ssh run
// (an argument list, no shell here) of SshCommand::listCommand per list(), with a deadline
// and a bound on the answer. Every list() ends in exactly one finished(), unless the lister
// is destroyed first. Ending a listing early kills ssh's process group: ssh and what it
// started.
class RemoteLister : public QObject
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds defaultDeadline = std::chrono::seconds(20);
    static constexpr qsizetype defaultMaxOutput = 16 * 1024 * 1024;

    explicit RemoteLister(QString host, QObject* parent = nullptr);
    ~RemoteLister() override;

    const QString& host() const { return m_host; }
    // ssh's options besides BatchMode and ConnectTimeout, each as ssh -o takes it
    // ("ControlMaster=auto", "ControlPath=/run/…/%C", "ControlPersist=60"). For the next list().
    void setSshOptions(const QStringList& options) { m_options = options; }
    // The ssh program; "ssh" (found on PATH) unless set.
    void setSshProgram(const QString& program) { m_program = program; }
    void setDeadline(std::chrono::milliseconds deadline) { m_deadline = deadline; }
    void setMaxOutput(qsizetype bytes) { m_maxOutput = bytes; }

    bool isListing() const { return m_process != nullptr; }
    // Starts a listing; does nothing while one runs.
    void list();
    // Stops the running listing, if any, without a finished().
    void cancel();

Q_SIGNALS:
    // The host's ports, or the reason there are none: ssh's last line on standard error, the
    // parser's reason, or the bound that was passed.
    void finished(const RemoteListing& listing);

private:
    void finish(RemoteListing listing);
    void readOutput();
    void readErrors();
    void processEnded(int exitCode, QProcess::ExitStatus exitStatus);

    const QString m_host;
    QString m_program = QStringLiteral("ssh");
    QStringList m_options;
    std::chrono::milliseconds m_deadline = defaultDeadline;
    qsizetype m_maxOutput = defaultMaxOutput;
    QProcess* m_process = nullptr; // while listing
    QTimer m_deadlineTimer;
    QByteArray m_output;
    QByteArray m_errors; // the end of standard error
};
