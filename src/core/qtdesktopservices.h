#pragma once

#include "desktopservices.h"

#include <QObject>
#include <QPointer>

class QDBusMessage;

// The desktop services through Qt: the desktop's URL handler, the clipboard, the
// notification service and the application object.
class QtDesktopServices final : public DesktopServices
{
public:
    bool openUrl(const QUrl& url) override;
    void copyText(const QString& text) override;
    // Defined per platform.
    void notify(const QString& message) override;
    void checkNotifications() override;
    void setNotificationFailureHandler(QObject* context, std::function<void()> failed) override
    {
        m_failureContext = context;
        m_failed = std::move(failed);
    }
    void terminate() override;
    void activate() override;
    void setAccessoryPolicy() override;

private:
    // Defined per platform, where there is a notification service to ask.
    void watchForFailure(const QDBusMessage& call);

    QPointer<QObject> m_failureContext;
    std::function<void()> m_failed;
};
