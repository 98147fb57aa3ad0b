#pragma once

#include "listeningport.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <map>
#include <memory>
#include <optional>

class QProcess;

// A forward of another machine's port to this one, as the panel shows it.
struct ForwardState
{
    bool running = true;
    quint16 localPort = 0; // 127.0.0.1:localPort here reaches the port there
    QString reason;        // why it ended: ssh's last lines, as plain text

    friend bool operator==(const ForwardState&, const ForwardState&) = default;
};

// Where on the other machine a forward connects to: the listener's own address, or its
// loopback one for a wildcard listener, in the form ssh's -L takes ("127.0.0.1", "[::1]").
// Empty when the record names no address that is one (outside text is never passed on).
QString forwardTarget(const ListeningPort& port);

// The port here a forward listens on: `wanted` when it is free on 127.0.0.1, else one the
// system picks; 0 when none can be had.
quint16 freeLocalPort(quint16 wanted);

// The forwards the user asked for, one `ssh -N -L 127.0.0.1:LOCAL:ADDRESS:PORT -- HOST`
// each, on a connection of its own, so that ending that ssh ends exactly this forward and
// its death is seen. A forward that ends on its own stays listed, with ssh's reason, until
// it is stopped or started again. Every ssh is ended with this object.
class PortForwards : public QObject
{
    Q_OBJECT

public:
    explicit PortForwards(QString sshProgram = QStringLiteral("ssh"), QObject* parent = nullptr);
    ~PortForwards() override;

    // Starts forwarding a TCP port of `host`; a forward of it that ended is replaced. Does
    // nothing for a UDP port or one whose address can't be reached.
    void start(const QString& host, const ListeningPort& port);
    // Ends the forward, or forgets the one that ended.
    void stop(const QString& host, qint64 port);
    // Every forward of a host, by its remote port.
    QHash<qint64, ForwardState> forwardsOf(const QString& host) const;
    // Ends every forward of a host (nullopt: of all hosts) and waits until their ssh is gone.
    void stopAll(const std::optional<QString>& host = std::nullopt);

Q_SIGNALS:
    void changed();

private:
    struct Forward
    {
        std::unique_ptr<QProcess> process;
        ForwardState state;
    };
    using Key = std::pair<QString, qint64>;
    void ended(const Key& key, QProcess* process);

    QString m_program;
    std::map<Key, Forward> m_forwards;
};
