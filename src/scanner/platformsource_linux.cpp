#include "procnetsource.h"

std::shared_ptr<PortSource> makePlatformPortSource()
{
    return std::make_shared<ProcNetSource>();
}
