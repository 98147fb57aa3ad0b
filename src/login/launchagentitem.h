#pragma once

#include "loginitem.h"

// macOS: a per-user launch agent, ~/Library/LaunchAgents/<label>.plist, which launchd reads
// at the next login. Turning it off also boots the agent out of the running session.
class LaunchAgentItem final : public LoginItem
{
public:
    explicit LaunchAgentItem(const Environment& environment);

    // An XML property list with exactly "Label", "ProgramArguments" (the executable alone),
    // "RunAtLoad" true and "KeepAlive" false.
    static QByteArray propertyList(const QString& label, const QString& executablePath);
    // "gui/<uid>/<label>", the agent's name in launchctl's terms.
    static QString serviceTarget(uint userId, const QString& label);

protected:
    QByteArray entryContents() const override;
    void beforeRemoving() const override;
};
