#pragma once

#include "desktopservices.h"

// The desktop services through Qt: the desktop's URL handler and the application object.
class QtDesktopServices final : public DesktopServices
{
public:
    bool openUrl(const QUrl& url) override;
    void terminate() override;
    void activate() override;
    void setAccessoryPolicy() override;
};
