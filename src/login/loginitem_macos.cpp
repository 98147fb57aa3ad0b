#include "launchagentitem.h"

std::unique_ptr<LoginItem> LoginItem::forPlatform(const Environment& environment)
{
    return std::make_unique<LaunchAgentItem>(environment);
}
