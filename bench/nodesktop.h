#pragma once

#include "desktopservices.h"

// Desktop services that do nothing: benchmarks open no browser and quit nothing.
class NoDesktop final : public DesktopServices
{
public:
    void openUrl(const QUrl&) override {}
    void terminate() override {}
    void activate() override {}
    void setAccessoryPolicy() override {}
};
