#include "procnetsource.h"

std::shared_ptr<PortSource> makePlatformPortSource(std::shared_ptr<ContainerNames> containerNames)
{
    return std::make_shared<ProcNetSource>(
        QStringLiteral("/proc"), ProcNetSource::Walk::Incremental, std::chrono::seconds(60),
        ProcNetSource::Sockets::Diagnostics, std::move(containerNames));
}
