#include "portforwards.h"

#include "childlifetime.h"
#include "printabletext.h"
#include "sshcommand.h"

#include <QHostAddress>
#include <QProcess>
#include <QSignalBlocker>
#include <QTcpServer>

#include <algorithm>
#include <vector>

namespace {

// ssh's reasons are a line or two; a chatty one must not fill memory.
constexpr qint64 maximumErrorText = 64 * 1024;

// ssh's reason: its last few lines, warnings left out. The first of them says most ("bind
// [127.0.0.1]:8080: Address already in use"), the last least ("Could not request local
// forwarding.").
QString endingLines(const QByteArray& text)
{
    QStringList lines;
    for (const QByteArray& line : text.split('\n')) {
        const QString trimmed = QString::fromUtf8(line.trimmed());
        if (!trimmed.isEmpty() && !trimmed.startsWith(QLatin1String("Warning:")))
            lines.append(printableText(trimmed));
    }
    return lines.mid(std::max<qsizetype>(0, lines.size() - 3)).join(QLatin1String("; "));
}

} // namespace

QString forwardTarget(const ListeningPort& port)
{
    const QStringList& addresses = port.addresses();
    if (port.exposure() != ListeningPort::Exposure::Specific) {
        // A wildcard or loopback listener takes the other machine's own loopback; one on
        // IPv6 alone takes ::1.
        const bool ipv6Only = !addresses.isEmpty() &&
                              std::all_of(addresses.cbegin(), addresses.cend(), [](const auto& a) {
                                  return a.contains(u':') && ipv4Part(a) == a;
                              });
        return ipv6Only ? QStringLiteral("[::1]") : QStringLiteral("127.0.0.1");
    }
    const QString address = ipv4Part(addresses.constFirst()).toString();
    const QHostAddress parsed(address);
    if (parsed.isNull() || !parsed.scopeId().isEmpty())
        return {};
    return parsed.protocol() == QAbstractSocket::IPv6Protocol ? u'[' + parsed.toString() + u']'
                                                              : parsed.toString();
}

quint16 freeLocalPort(quint16 wanted)
{
    QTcpServer probe;
    if (wanted != 0 && probe.listen(QHostAddress::LocalHost, wanted))
        return wanted;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

PortForwards::PortForwards(QString sshProgram, QObject* parent)
    : QObject(parent), m_program(std::move(sshProgram))
{}

PortForwards::~PortForwards()
{
    const QSignalBlocker quiet(this);
    stopAll();
}

void PortForwards::start(const QString& host, const ListeningPort& port)
{
    const QString target = forwardTarget(port);
    if (port.isUdp() || target.isEmpty() || port.port() <= 0 || port.port() > 65535 ||
        !SshCommand::isUsableHost(host))
        return;
    const Key key{host, port.port()};
    if (const auto it = m_forwards.find(key); it != m_forwards.end() && it->second.state.running)
        return;
    const quint16 local = freeLocalPort(quint16(port.port()));
    Forward forward;
    forward.state.localPort = local;
    forward.process = std::make_unique<QProcess>();
    QProcess* process = forward.process.get();
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setReadChannel(QProcess::StandardError);
    // Its own connection, not the watch's kept one: a forward asked of a kept connection
    // lives in that connection and outlives its ssh. No prompt can be answered here, and
    // a dead link is noticed within a minute.
    process->setArguments(
        {QStringLiteral("-N"), QStringLiteral("-o"), QStringLiteral("ExitOnForwardFailure=yes"),
         QStringLiteral("-o"), QStringLiteral("BatchMode=yes"), QStringLiteral("-o"),
         QStringLiteral("ControlPath=none"), QStringLiteral("-o"),
         QStringLiteral("ServerAliveInterval=15"), QStringLiteral("-L"),
         QStringLiteral("127.0.0.1:%1:%2:%3").arg(local).arg(target).arg(port.port()),
         QStringLiteral("--"), host});
    process->setProgram(m_program);
    // Nor after a crash: a forward left running would hold its port here for ever.
    endWithThisProgram(*process);
    connect(process, &QProcess::readyReadStandardError, this, [process] {
        // Only the last lines are kept: they say why it ended.
        if (process->bytesAvailable() > maximumErrorText)
            process->skip(process->bytesAvailable() - maximumErrorText);
    });
    connect(process, &QProcess::finished, this, [this, key, process] { ended(key, process); });
    connect(process, &QProcess::errorOccurred, this,
            [this, key, process](QProcess::ProcessError e) {
                if (e == QProcess::FailedToStart)
                    ended(key, process);
            });
    if (local == 0) {
        forward.state = {false, 0, tr("no free port here")};
        m_forwards[key] = std::move(forward);
        Q_EMIT changed();
        return;
    }
    m_forwards[key] = std::move(forward);
    process->start();
    Q_EMIT changed();
}

void PortForwards::ended(const Key& key, QProcess* process)
{
    const auto it = m_forwards.find(key);
    if (it == m_forwards.end() || it->second.process.get() != process || !it->second.state.running)
        return;
    ForwardState& state = it->second.state;
    state.running = false;
    state.reason = endingLines(process->readAllStandardError());
    if (state.reason.isEmpty())
        state.reason = process->error() == QProcess::FailedToStart
                           ? tr("ssh could not be started: %1").arg(process->errorString())
                       : process->exitStatus() == QProcess::CrashExit
                           ? tr("ssh was ended")
                           : tr("ssh exited with status %1").arg(process->exitCode());
    Q_EMIT changed();
}

void PortForwards::stop(const QString& host, qint64 port)
{
    const auto it = m_forwards.find({host, port});
    if (it == m_forwards.end())
        return;
    // Taken out first: its end is no news.
    const std::unique_ptr<QProcess> process = std::move(it->second.process);
    m_forwards.erase(it);
    if (process) {
        process->disconnect(this);
        process->terminate();
        if (!process->waitForFinished(2000))
            process->kill();
    }
    Q_EMIT changed();
}

QHash<qint64, ForwardState> PortForwards::forwardsOf(const QString& host) const
{
    QHash<qint64, ForwardState> forwards;
    for (const auto& [key, forward] : m_forwards) {
        if (key.first == host)
            forwards.insert(key.second, forward.state);
    }
    return forwards;
}

void PortForwards::stopAll(const std::optional<QString>& host)
{
    std::vector<std::unique_ptr<QProcess>> ending;
    for (auto it = m_forwards.begin(); it != m_forwards.end();) {
        if (host && it->first.first != *host) {
            ++it;
            continue;
        }
        if (it->second.process) {
            it->second.process->disconnect(this);
            it->second.process->terminate();
            ending.push_back(std::move(it->second.process));
        }
        it = m_forwards.erase(it);
    }
    // All asked at once, then waited for: ssh leaves at once on SIGTERM.
    for (const auto& process : ending) {
        if (process->state() != QProcess::NotRunning && !process->waitForFinished(2000))
            process->kill();
    }
    if (!ending.empty())
        Q_EMIT changed();
}
