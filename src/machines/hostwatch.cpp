#include "hostwatch.h"

#include <QProcess>

#include <algorithm>
#include <memory>
#include <vector>

using namespace std::chrono_literals;

namespace {

// "ssh -O exit" for HOST's kept connection, nothing read or written.
void prepareClose(QProcess& close, const SshSetup& setup, const QString& host)
{
    close.setProgram(setup.program);
    close.setArguments(setup.closeArguments(host));
    close.setStandardInputFile(QProcess::nullDevice());
    close.setStandardOutputFile(QProcess::nullDevice());
    close.setStandardErrorFile(QProcess::nullDevice());
}

} // namespace

QStringList SshSetup::keptConnectionOptions() const
{
    if (controlFolder.isEmpty())
        return {QStringLiteral("ControlPath=none")};
    // %C, a hash of the connection, keeps the socket's path short, under the limit of a
    // Unix socket's name.
    return {QStringLiteral("ControlMaster=auto"),
            QStringLiteral("ControlPath=%1/%C").arg(controlFolder),
            QStringLiteral("ControlPersist=60"), QStringLiteral("ServerAliveInterval=5"),
            QStringLiteral("ServerAliveCountMax=3")};
}

QStringList SshSetup::closeArguments(const QString& host) const
{
    return {QStringLiteral("-o"), QStringLiteral("ControlPath=%1/%C").arg(controlFolder),
            QStringLiteral("-O"), QStringLiteral("exit"),
            QStringLiteral("--"), host};
}

void SshSetup::closeKeptConnections(const QStringList& hosts) const
{
    if (controlFolder.isEmpty())
        return;
    std::vector<std::unique_ptr<QProcess>> closing;
    for (const QString& host : hosts) {
        auto& close = closing.emplace_back(std::make_unique<QProcess>());
        prepareClose(*close, *this, host);
        close->start();
    }
    // Only local control sockets are asked: this takes moments.
    for (const auto& close : closing) {
        if (!close->waitForFinished(3000))
            close->kill();
    }
}

std::chrono::seconds retryDelay(int failures)
{
    if (failures <= 0)
        return HostWatch::refreshInterval;
    const int shift = std::min(failures - 1, 4);
    return std::min<std::chrono::seconds>(HostWatch::refreshInterval * (1 << shift), 60s);
}

HostWatch::HostWatch(QString host, SshSetup setup, QObject* parent)
    : QObject(parent), m_setup(std::move(setup)), m_lister(host)
{
    m_section.host = std::move(host);
    m_lister.setSshProgram(m_setup.program);
    m_lister.setSshOptions(m_setup.keptConnectionOptions());
    connect(&m_lister, &RemoteLister::finished, this, [this](const RemoteListing& listing) {
        if (listing.ok())
            listed(listing.ports);
        else
            failed(listing.reason);
    });
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &HostWatch::refresh);
}

HostWatch::~HostWatch()
{
    stop();
}

void HostWatch::start()
{
    m_stopped = false;
    refresh();
}

void HostWatch::refresh()
{
    if (!m_stopped)
        m_lister.list();
}

void HostWatch::listed(const QList<ListeningPort>& ports)
{
    m_failures = 0;
    RemoteSection section = m_section;
    section.state = RemoteSection::State::Listed;
    section.reason.clear();
    section.lost = false;
    section.nextTry = {};
    section.ports = ports;
    m_timer.start(refreshInterval);
    if (section == m_section)
        return;
    m_section = std::move(section);
    Q_EMIT changed();
}

void HostWatch::failed(const QString& reason)
{
    const std::chrono::seconds delay = retryDelay(++m_failures);
    // A kept connection that stalls would stall every refresh after it: closed, so the
    // next try logs in anew.
    if (!m_setup.controlFolder.isEmpty()) {
        QProcess close;
        prepareClose(close, m_setup, m_section.host);
        close.startDetached();
    }
    m_section.lost = m_section.state == RemoteSection::State::Listed || m_section.lost;
    m_section.state = RemoteSection::State::Unreachable;
    m_section.reason = reason;
    m_section.ports.clear();
    m_section.nextTry = QDateTime::currentDateTime().addSecs(delay.count());
    m_timer.start(delay);
    Q_EMIT changed();
}

void HostWatch::stop()
{
    m_stopped = true;
    m_timer.stop();
    m_lister.cancel();
}
