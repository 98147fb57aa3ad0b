#pragma once

#include "desktopservices.h"

// Records every call instead of acting, for tests.
class RecordingDesktopServices final : public DesktopServices
{
public:
    bool openUrl(const QUrl& url) override
    {
        openedUrls.append(url);
        return opens;
    }
    void terminate() override { ++terminateCalls; }
    void activate() override { ++activateCalls; }
    void setAccessoryPolicy() override {}

    bool opens = true; // what openUrl answers
    QList<QUrl> openedUrls;
    int terminateCalls = 0;
    int activateCalls = 0;
};
