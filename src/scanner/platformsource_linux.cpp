#include "lsofsource.h"
#include "portscanner.h"

std::shared_ptr<PortSource> PortScanner::platformSource()
{
    return std::make_shared<LsofSource>();
}
