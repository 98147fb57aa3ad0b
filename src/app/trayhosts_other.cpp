#include "trayhosts.h"

#include <QSystemTrayIcon>

namespace {

// macOS and the like: the menu bar is always there.
class PlatformTrayHosts final : public TrayHosts
{
public:
    State state() const override { return {false, QSystemTrayIcon::isSystemTrayAvailable()}; }
};

} // namespace

std::unique_ptr<TrayHosts> makePlatformTrayHosts()
{
    return std::make_unique<PlatformTrayHosts>();
}
