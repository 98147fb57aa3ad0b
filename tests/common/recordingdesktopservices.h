#pragma once

#include "desktopservices.h"

#include <QList>
#include <QUrl>

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
    void setAccessoryPolicy() override { ++accessoryPolicyCalls; }

    bool opens = true; // what openUrl answers
    QList<QUrl> openedUrls;
    int terminateCalls = 0;
    int activateCalls = 0;
    int accessoryPolicyCalls = 0;
};
