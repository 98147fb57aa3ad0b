#include "commandname.h"
#include "processcontrol.h"

#include <QFile>

#include <csignal>
#include <unistd.h>

namespace {

class LinuxProcessControl final : public ProcessControl
{
public:
    std::optional<QString> processName(qint32 pid) const override
    {
        // The same file and escaping as the native port source, so names compare equal.
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        if (!comm.open(QIODevice::ReadOnly))
            return std::nullopt;
        QByteArray raw = comm.readAll();
        // The kernel ends the name with one newline; a name may hold another of its own.
        if (raw.endsWith('\n'))
            raw.chop(1);
        else
            return std::nullopt; // gone between open and read
        return escapeCommandName(raw);
    }

    void sendSignal(qint32 pid, int signal) override { ::kill(pid, signal); }
    qint32 ownPid() const override { return static_cast<qint32>(::getpid()); }
};

} // namespace

std::shared_ptr<ProcessControl> ProcessControl::platform()
{
    return std::make_shared<LinuxProcessControl>();
}
