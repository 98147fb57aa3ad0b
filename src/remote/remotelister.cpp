#include "remotelister.h"

#include "sshcommand.h"

#include <QCoreApplication>

#include <csignal>
#include <unistd.h>
#include <utility>

namespace {

// Enough of ssh's standard error for its last lines.
constexpr qsizetype keptErrors = 64 * 1024;

// The last line of text that is not blank.
QString lastLine(const QByteArray& text)
{
    const QList<QByteArray> lines = text.trimmed().split('\n');
    return QString::fromUtf8(lines.last().trimmed());
}

} // namespace

RemoteLister::RemoteLister(QString host, QObject* parent)
    : QObject(parent), m_host(std::move(host))
{
    m_deadlineTimer.setSingleShot(true);
    connect(&m_deadlineTimer, &QTimer::timeout, this, [this] {
        finish({m_host, RemoteListing::Source::None, {},
                tr("no answer in %1 s")
                    .arg(std::chrono::ceil<std::chrono::seconds>(m_deadline).count())});
    });
}

RemoteLister::~RemoteLister()
{
    cancel();
}

void RemoteLister::list()
{
    if (m_process)
        return;
    const QStringList arguments =
        SshCommand::arguments(m_host, SshCommand::listCommand(), m_options);
    if (arguments.isEmpty()) {
        // Never started: a host such as "-oProxyCommand=…" would be an option to ssh.
        const QString reason = tr("not a host name: \"%1\"").arg(m_host);
        QMetaObject::invokeMethod(this, [this, reason] {
            Q_EMIT finished({m_host, RemoteListing::Source::None, {}, reason});
        }, Qt::QueuedConnection);
        return;
    }
    m_output.clear();
    m_errors.clear();
    m_process = new QProcess(this);
    m_process->setStandardInputFile(QProcess::nullDevice());
    // A group of its own, so that ending it ends what ssh started too (a ProxyCommand).
    m_process->setChildProcessModifier([] { ::setpgid(0, 0); });
    connect(m_process, &QProcess::readyReadStandardOutput, this, &RemoteLister::readOutput);
    connect(m_process, &QProcess::readyReadStandardError, this, &RemoteLister::readErrors);
    connect(m_process, &QProcess::finished, this, &RemoteLister::processEnded);
    // Queued, so that a program that cannot start does not end the listing inside list().
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (m_process && error == QProcess::FailedToStart)
            finish({m_host, RemoteListing::Source::None, {},
                    tr("cannot run %1: %2").arg(m_program, m_process->errorString())});
    }, Qt::QueuedConnection);
    m_deadlineTimer.start(m_deadline);
    m_process->start(m_program, arguments);
}

void RemoteLister::cancel()
{
    m_deadlineTimer.stop();
    if (!m_process)
        return;
    QProcess* const process = std::exchange(m_process, nullptr);
    process->disconnect(this);
    if (const qint64 pid = process->processId(); pid > 0)
        ::kill(-pid_t(pid), SIGKILL);
    process->kill();
    process->waitForFinished(1000);
    // Later: this may run inside one of the process's own signals.
    process->deleteLater();
}

void RemoteLister::finish(RemoteListing listing)
{
    cancel();
    Q_EMIT finished(listing);
}

void RemoteLister::readOutput()
{
    m_output += m_process->readAllStandardOutput();
    if (m_output.size() > m_maxOutput) {
        finish({m_host, RemoteListing::Source::None, {},
                tr("the answer is larger than %1 MiB").arg(m_maxOutput / (1024 * 1024))});
    }
}

void RemoteLister::readErrors()
{
    m_errors += m_process->readAllStandardError();
    if (m_errors.size() > keptErrors)
        m_errors = m_errors.right(keptErrors);
}

void RemoteLister::processEnded(int exitCode, QProcess::ExitStatus exitStatus)
{
    readOutput();
    if (!m_process)
        return; // past the bound
    readErrors();
    if (exitStatus != QProcess::NormalExit || exitCode != 0) {
        QString reason = lastLine(m_errors);
        if (reason.isEmpty())
            reason = exitStatus == QProcess::NormalExit
                         ? tr("ssh exited with status %1").arg(exitCode)
                         : tr("ssh ended abnormally");
        finish({m_host, RemoteListing::Source::None, {}, reason});
        return;
    }
    RemoteListing listing = RemoteAnswer::parse(m_output);
    listing.host = m_host;
    finish(std::move(listing));
}
