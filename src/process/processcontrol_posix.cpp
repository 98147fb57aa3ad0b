#include "processcontrol.h"

#include <unistd.h>

namespace {

// Platforms without a way to tell who a process is: no process can be checked, so nothing
// is ever signalled.
class PosixProcessControl final : public ProcessControl
{
public:
    std::unique_ptr<Handle> open(qint32) const override { return nullptr; }
    qint32 ownPid() const override { return static_cast<qint32>(::getpid()); }
    quint32 ownUid() const override { return ::geteuid(); }
};

} // namespace

std::shared_ptr<ProcessControl> ProcessControl::platform()
{
    return std::make_shared<PosixProcessControl>();
}
