#include "restartcause.h"

#include "commandname.h"
#include "ownerfacts.h"
#include "processstat.h"
#include "procfiles.h"
#include "scriptname.h"

#include <QByteArray>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

// Enough of a command line for the interpreter and its script.
constexpr qsizetype maxCommandLineBytes = 4096;

class ProcTable final : public ProcessTable
{
public:
    std::optional<LineageProcess> read(qint32 pid) const override
    {
        if (pid <= 0)
            return std::nullopt;
        const QByteArray path = QByteArray::number(pid);
        const ProcFiles::Fd proc(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        const ProcFiles::Fd folder(proc.isValid() ? ::openat(proc.get(), path.constData(),
                                                             O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                                                  : -1);
        char line[1024];
        struct stat info = {};
        const qsizetype length =
            folder.isValid() ? ProcFiles::readLine(folder.get(), "stat", line, sizeof line) : -1;
        const auto stat =
            length < 0 ? std::nullopt : parseProcessStat(QByteArrayView(line, length));
        if (!stat || ::fstat(folder.get(), &info) != 0)
            return std::nullopt;
        // Read through the folder held open: all of it is this process's, or nothing.
        const OwnerFacts::Facts facts = OwnerFacts::read(folder.get(), ".", stat->name);
        QByteArray commandLine;
        ProcFiles::readFile(folder.get(), "cmdline", commandLine, maxCommandLineBytes);
        LineageProcess process;
        process.pid = pid;
        process.parentPid = stat->parentPid;
        process.session = stat->session;
        process.startTime = stat->startTime;
        process.uid = info.st_uid;
        const QByteArray script = scriptName(stat->name, commandLine);
        process.program = script.isEmpty() ? facts.program : escapeCommandName(script);
        process.unit = facts.place.unit;
        process.userUnit = facts.place.userUnit;
        process.container = facts.place.container;
        return process;
    }
};

} // namespace

std::shared_ptr<const ProcessTable> ProcessTable::platform()
{
    return std::make_shared<ProcTable>();
}
