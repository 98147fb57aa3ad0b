#pragma once

#include "desktopservices.h"

// Records every call instead of acting, for tests.
class RecordingDesktopServices final : public DesktopServices
{
public:
    void openUrl(const QUrl& url) override { openedUrls.append(url); }
    void terminate() override { ++terminateCalls; }
    void activate() override { ++activateCalls; }
    void setAccessoryPolicy() override {}

    QList<QUrl> openedUrls;
    int terminateCalls = 0;
    int activateCalls = 0;
};
