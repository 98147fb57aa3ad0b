#include "trayhosts.h"

#include <QSystemTrayIcon>

namespace {

// macOS and the like: the menu bar is always there.
class PlatformTrayHosts final : public TrayHosts
{
public:
    State state() const override
    {
        const bool available = QSystemTrayIcon::isSystemTrayAvailable();
        return {false, available, m_iconMade && available};
    }
    void followIcon() override { m_iconMade = true; }

private:
    bool m_iconMade = false;
};

} // namespace

std::unique_ptr<TrayHosts> makePlatformTrayHosts()
{
    return std::make_unique<PlatformTrayHosts>();
}
