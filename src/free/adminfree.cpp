#include "adminfree.h"

#include "printabletext.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <memory>

namespace {

// pkexec's own statuses: the authorization was dismissed or refused (126), or could not
// be had (127).
constexpr int notAuthorized = 126;
constexpr int noAuthorization = 127;
// A line a port; more is not the tool's.
constexpr qint64 maxOutputBytes = 16 * 1024;

} // namespace

AdminFree::AdminFree(QString pkexec, QString tool, QObject* parent)
    : QObject(parent), m_pkexec(std::move(pkexec)), m_tool(std::move(tool))
{}

bool AdminFree::isAvailable() const
{
    const QFileInfo tool(m_tool);
    return !QStandardPaths::findExecutable(m_pkexec).isEmpty() && tool.isAbsolute() &&
           tool.isExecutable();
}

QString AdminFree::toolBesideProgram()
{
    // Installed, the two programs share a folder; in the build tree each has its own.
    const QString folder = QCoreApplication::applicationDirPath();
    for (const auto* relative : {"/tidewatch-ports", "/../cli/tidewatch-ports"}) {
        const QFileInfo tool(folder + QLatin1String(relative));
        if (tool.isExecutable())
            return tool.canonicalFilePath();
    }
    return {};
}

void AdminFree::freePort(quint16 port, const QObject* context, Done done)
{
    const QPointer<const QObject> guard(context);
    auto* process = new QProcess(this);
    auto finish = std::make_shared<Done>(std::move(done));
    const auto end = [process, finish, guard](const Result& result) {
        if (!*finish)
            return;
        const Done call = std::exchange(*finish, {});
        process->disconnect();
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(1000);
        }
        process->deleteLater();
        if (guard)
            call(result);
    };
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    QTimer::singleShot(finishWithin, process, [end] { end({}); });
    connect(process, &QProcess::errorOccurred, process, [end](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            end({});
    });
    connect(process, &QProcess::finished, process,
            [process, end](int exitCode, QProcess::ExitStatus status) {
                Result result;
                result.exitCode = exitCode;
                if (status != QProcess::NormalExit) {
                    end(result);
                    return;
                }
                if (exitCode == notAuthorized || exitCode == noAuthorization) {
                    result.outcome = Result::Outcome::Dismissed;
                    end(result);
                    return;
                }
                // The lines about the port; where there are none, why (standard error).
                QString output = QString::fromUtf8(process->read(maxOutputBytes));
                if (output.trimmed().isEmpty())
                    output =
                        QString::fromUtf8(process->readAllStandardError().left(maxOutputBytes));
                for (const QString& line : output.split(u'\n', Qt::SkipEmptyParts))
                    result.lines.append(printableText(line.left(300)));
                result.outcome = Result::Outcome::Done;
                end(result);
            });
    process->start(m_pkexec, {m_tool, QStringLiteral("--free"), QString::number(port)});
}
