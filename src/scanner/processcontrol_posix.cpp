#include "processcontrol.h"

#include <csignal>
#include <unistd.h>

namespace {

// Platforms without a name lookup of their own: no process can be checked, so nothing is
// ever signalled.
class PosixProcessControl final : public ProcessControl
{
public:
    std::optional<QString> processName(qint32) const override { return std::nullopt; }
    void sendSignal(qint32 pid, int signal) override { ::kill(pid, signal); }
    qint32 ownPid() const override { return static_cast<qint32>(::getpid()); }
};

} // namespace

std::shared_ptr<ProcessControl> ProcessControl::platform()
{
    return std::make_shared<PosixProcessControl>();
}
