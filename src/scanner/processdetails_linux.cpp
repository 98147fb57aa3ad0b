#include "processdetails.h"

#include <QFile>
#include <QStringList>

#include <climits>
#include <unistd.h>

namespace {

// Long enough for any command line worth reading in a tooltip.
constexpr qint64 maxCommandLineBytes = 16 * 1024;

QString quotedArgument(const QString& argument)
{
    if (!argument.isEmpty() && !argument.contains(QLatin1Char(' ')) &&
        !argument.contains(QLatin1Char('\'')))
        return argument;
    QString escaped = argument;
    escaped.replace(QLatin1String("'"), QLatin1String("'\\''"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

} // namespace

ProcessDetails readProcessDetails(qint32 pid)
{
    ProcessDetails details;
    if (pid <= 0)
        return details;
    const QString dir = QStringLiteral("/proc/") + QString::number(pid);

    QFile cmdline(dir + QStringLiteral("/cmdline"));
    if (cmdline.open(QIODevice::ReadOnly)) {
        QByteArray raw = cmdline.read(maxCommandLineBytes);
        if (raw.endsWith('\0'))
            raw.chop(1);
        QStringList arguments;
        for (const QByteArray& argument : raw.split('\0'))
            arguments.append(quotedArgument(QString::fromUtf8(argument)));
        if (!raw.isEmpty())
            details.commandLine = arguments.join(QLatin1Char(' '));
    }

    const QByteArray cwdPath = QFile::encodeName(dir + QStringLiteral("/cwd"));
    char target[PATH_MAX];
    const ssize_t length = ::readlink(cwdPath.constData(), target, sizeof target);
    if (length > 0)
        details.workingFolder = QFile::decodeName(QByteArray(target, length));
    return details;
}
