#include "processdetails.h"

#include "commandname.h"
#include "processfolder.h"
#include "procfiles.h"

#include <QStringList>

#include <climits>
#include <unistd.h>

namespace {

// Enough of a command line to tell processes apart; a tooltip holding more would not fit
// on the screen.
constexpr qint64 summaryBytes = 16 * 1024;
constexpr qsizetype summaryLength = 1000;
// A copied one is whole, short of one that no one means to paste.
constexpr qint64 wholeBytes = 1024 * 1024;

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

// Reads through the process's folder, checked first: all of it is the record's process's.
class LinuxProcessDetails final : public ProcessDetailsProvider
{
public:
    ProcessDetails read(const ProcessIdentity& seen, CommandLineLength length) const override;
};

ProcessDetails LinuxProcessDetails::read(const ProcessIdentity& seen,
                                         CommandLineLength length) const
{
    const bool whole = length == CommandLineLength::Whole;
    ProcessDetails details;
    const auto folder = ProcessFolder::open(seen.pid);
    if (!folder || !isSameProcess(folder->identity(), seen))
        return details;

    const qint64 maxBytes = whole ? wholeBytes : summaryBytes;
    QByteArray raw;
    // One byte more tells whether there was more.
    if (ProcFiles::readFile(folder->fd(), "cmdline", raw, maxBytes + 1)) {
        const bool cut = raw.size() > maxBytes;
        raw.truncate(maxBytes);
        if (raw.endsWith('\0'))
            raw.chop(1);
        QStringList arguments;
        for (const QByteArray& argument : raw.split('\0'))
            arguments.append(quotedArgument(argument));
        if (!raw.isEmpty())
            details.commandLine = arguments.join(QLatin1Char(' '));
        if (!whole && details.commandLine.size() > summaryLength)
            details.commandLine = details.commandLine.left(summaryLength) + QChar(0x2026);
        else if (cut)
            details.commandLine += QChar(0x2026);
    }

    char target[PATH_MAX];
    const ssize_t linkLength = ::readlinkat(folder->fd(), "cwd", target, sizeof target);
    if (linkLength > 0)
        details.workingFolder = escapeCommandName(QByteArrayView(target, linkLength));
    return details;
}

} // namespace

std::shared_ptr<const ProcessDetailsProvider> ProcessDetailsProvider::platform()
{
    return std::make_shared<LinuxProcessDetails>();
}
