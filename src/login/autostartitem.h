#pragma once

#include "loginitem.h"

// Freedesktop: an autostart entry, $XDG_CONFIG_HOME/autostart/<label>.desktop, which the
// desktop reads at the next login.
class AutostartItem final : public LoginItem
{
public:
    explicit AutostartItem(const Environment& environment);

    // $XDG_CONFIG_HOME when it is an absolute path, else <home>/.config.
    static QString configFolder(const Environment& environment);

protected:
    QByteArray entryContents() const override;
};
