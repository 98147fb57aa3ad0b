#pragma once

#include "remotelister.h"
#include "remotesection.h"

#include <QObject>
#include <QTimer>

#include <chrono>

// How the kept connections are made: which ssh, and the private folder their control
// sockets go in (empty: no kept connection, each refresh logs in anew).
struct SshSetup
{
    QString program = QStringLiteral("ssh");
    QString controlFolder;

    // The options (for ssh's -o) that make a call share the host's kept connection, or open
    // it: OpenSSH's ControlMaster, which outlives the call by a minute at most, and
    // keep-alives, so a link that went dead ends it rather than stalling every refresh.
    QStringList keptConnectionOptions() const;
    // The arguments that close the host's kept connection.
    QStringList closeArguments(const QString& host) const;
    // Closes the kept connections of these hosts, all at once, and waits (boundedly) until
    // they are closed.
    void closeKeptConnections(const QStringList& hosts) const;
};

// How long an unreachable machine waits for its next try after so many failures in a row:
// 5 s after the first, doubling up to a minute.
std::chrono::seconds retryDelay(int failures);

// One watched machine: its list read every five seconds over one kept connection, a
// failure retried with backoff. One refresh at a time; the next is timed from the end of
// the last, so a slow machine is never asked twice at once.
class HostWatch : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::seconds refreshInterval{5};

    HostWatch(QString host, SshSetup setup, QObject* parent = nullptr);
    ~HostWatch() override;

    const QString& host() const { return m_section.host; }
    // Its state and records; forwards are not its business.
    const RemoteSection& section() const { return m_section; }

    void start();
    // Ends a refresh under way; no more follow. The kept connection is closed apart.
    void stop();

Q_SIGNALS:
    void changed();

private:
    void refresh();
    void listed(const QList<ListeningPort>& ports);
    void failed(const QString& reason);

    SshSetup m_setup;
    RemoteSection m_section;
    RemoteLister m_lister;
    int m_failures = 0;
    QTimer m_timer;
    bool m_stopped = false;
};
