#pragma once

#include "desktopservices.h"

#include <QStringList>

// Records every call instead of acting, for tests.
class RecordingDesktopServices final : public DesktopServices
{
public:
    bool openUrl(const QUrl& url) override
    {
        openedUrls.append(url);
        return opens;
    }
    void copyText(const QString& text) override { copied.append(text); }
    void notify(const QString& message) override { notifications.append(message); }
    void terminate() override { ++terminateCalls; }
    void activate() override { ++activateCalls; }
    void setAccessoryPolicy() override {}

    bool opens = true; // what openUrl answers
    QList<QUrl> openedUrls;
    QStringList copied;
    QStringList notifications;
    int terminateCalls = 0;
    int activateCalls = 0;
};
