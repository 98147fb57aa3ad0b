#pragma once

#include "desktopservices.h"

#include <QObject>
#include <QPointer>
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
    void notify(const QString& message) override
    {
        notifications.append(message);
        checkNotifications();
    }
    void checkNotifications() override
    {
        if (!notificationsWork && failureContext)
            failed();
    }
    void setNotificationFailureHandler(QObject* context, std::function<void()> handler) override
    {
        failureContext = context;
        failed = std::move(handler);
    }
    void terminate() override { ++terminateCalls; }
    void activate() override { ++activateCalls; }
    void setAccessoryPolicy() override {}

    bool opens = true; // what openUrl answers
    bool notificationsWork = true;
    QPointer<QObject> failureContext;
    std::function<void()> failed;
    QList<QUrl> openedUrls;
    QStringList copied;
    QStringList notifications;
    int terminateCalls = 0;
    int activateCalls = 0;
};
