#include "processdetails.h"

#include "commandname.h"
#include "processfolder.h"
#include "procfiles.h"

#include <QStringList>

#include <climits>
#include <fcntl.h>
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

namespace {

// The boot time, in seconds since the epoch: /proc/stat's "btime" line. It stays put while
// the machine runs, so it is read once.
std::optional<qint64> bootTime()
{
    static const std::optional<qint64> time = []() -> std::optional<qint64> {
        QByteArray stat;
        if (!ProcFiles::readFile(AT_FDCWD, "/proc/stat", stat))
            return std::nullopt;
        static constexpr QByteArrayView key = "\nbtime ";
        const qsizetype at = stat.indexOf(key);
        if (at < 0)
            return std::nullopt;
        const qsizetype end = stat.indexOf('\n', at + 1);
        const auto seconds = ProcFiles::parseUnsigned(QByteArrayView(stat).sliced(
            at + key.size(), (end < 0 ? stat.size() : end) - at - key.size()));
        return seconds ? std::optional(qint64(*seconds)) : std::nullopt;
    }();
    return time;
}

} // namespace

std::optional<QDateTime> processStartedAt(quint64 startTime)
{
    const long ticks = ::sysconf(_SC_CLK_TCK);
    const auto boot = bootTime();
    if (startTime == 0 || ticks <= 0 || !boot)
        return std::nullopt;
    const qint64 msecs = *boot * 1000 + qint64(startTime * 1000 / quint64(ticks));
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
}
