#include "portscanner.h"
#include "procnetsource.h"

std::shared_ptr<PortSource> PortScanner::platformSource()
{
    return std::make_shared<ProcNetSource>();
}
