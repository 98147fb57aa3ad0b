#include "autostartitem.h"

std::unique_ptr<LoginItem> LoginItem::forPlatform(const Environment& environment)
{
    return std::make_unique<AutostartItem>(environment);
}
