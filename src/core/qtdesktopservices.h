#pragma once

#include "desktopservices.h"

// The desktop services through Qt: the desktop's URL handler, the clipboard, the
// notification service and the application object.
class QtDesktopServices final : public DesktopServices
{
public:
    bool openUrl(const QUrl& url) override;
    void copyText(const QString& text) override;
    // Defined per platform.
    void notify(const QString& message) override;
    void terminate() override;
    void activate() override;
    void setAccessoryPolicy() override;
};
