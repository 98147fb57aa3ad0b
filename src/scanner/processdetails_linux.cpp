#include "processdetails.h"

#include "commandname.h"

#include <QFile>
#include <QStringList>

#include <climits>
#include <unistd.h>

namespace {

// Enough of a command line to tell processes apart; a tooltip holding more would not fit
// on the screen.
constexpr qint64 maxCommandLineBytes = 16 * 1024;
constexpr qsizetype maxCommandLineLength = 1000;

// Each argument printable on one line (a newline shows as \n, so no argument can add a
// line of its own), quoted when it holds spaces or quotes.
QString quotedArgument(QByteArrayView raw)
{
    const QString argument = escapeCommandName(raw);
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
            arguments.append(quotedArgument(argument));
        if (!raw.isEmpty())
            details.commandLine = arguments.join(QLatin1Char(' '));
        if (details.commandLine.size() > maxCommandLineLength)
            details.commandLine = details.commandLine.left(maxCommandLineLength) + QChar(0x2026);
    }

    const QByteArray cwdPath = QFile::encodeName(dir + QStringLiteral("/cwd"));
    char target[PATH_MAX];
    const ssize_t length = ::readlink(cwdPath.constData(), target, sizeof target);
    if (length > 0)
        details.workingFolder = escapeCommandName(QByteArrayView(target, length));
    return details;
}
