#include "lsofsource.h"

std::shared_ptr<PortSource> makePlatformPortSource()
{
    return std::make_shared<LsofSource>();
}
