#pragma once

#include "desktopservices.h"

// Desktop services that do nothing: benchmarks open no browser and quit nothing.
class NoDesktop final : public DesktopServices
{
public:
    bool openUrl(const QUrl&) override { return true; }
    void copyText(const QString&) override {}
    void notify(const QString&) override {}
    void checkNotifications() override {}
    void setNotificationFailureHandler(QObject*, std::function<void()>) override {}
    void terminate() override {}
    void activate() override {}
    void setAccessoryPolicy() override {}
};
