#include "commandname.h"
#include "processcontrol.h"

#include <libproc.h>

#include <csignal>
#include <sys/proc_info.h>
#include <unistd.h>

namespace {

class MacProcessControl final : public ProcessControl
{
public:
    std::optional<QString> processName(qint32 pid) const override
    {
        // proc_name() gives the name lsof reports, escaped the same way before comparing.
        char name[2 * MAXCOMLEN + 1] = {};
        const int length = ::proc_name(pid, name, sizeof name);
        if (length <= 0)
            return std::nullopt;
        return escapeCommandName(QByteArrayView(name, length));
    }

    void sendSignal(qint32 pid, int signal) override { ::kill(pid, signal); }
    qint32 ownPid() const override { return static_cast<qint32>(::getpid()); }
};

} // namespace

std::shared_ptr<ProcessControl> ProcessControl::platform()
{
    return std::make_shared<MacProcessControl>();
}
