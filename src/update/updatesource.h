#pragma once

#include "appupdate.h"

#include <QString>

#include <functional>
#include <optional>

// What one check found: a newer version, none, or why it could not tell. A failed check
// is never reported as "no newer version".
struct UpdateCheckResult
{
    std::optional<AppUpdate> update; // the newer version, when the feed names one
    QString failure;                 // why the check failed, as a sentence; empty when it worked

    bool isFailed() const { return !failure.isEmpty(); }
};

// Where the update prompter gets its answer from: the running program's name and version,
// and whether a newer version is out. UpdateChecker asks the feed; tests hand the answer in.
class UpdateSource
{
public:
    using Completion = std::function<void(const UpdateCheckResult&)>;

    virtual ~UpdateSource() = default;

    // The name the alerts use.
    virtual QString appName() const = 0;
    // The running version.
    virtual QString currentVersion() const = 0;
    // False when this build has nowhere to look (no feed address): no check can work.
    virtual bool canCheck() const = 0;
    // Calls the completion exactly once with what the check found; possibly before
    // returning.
    virtual void check(Completion completion) const = 0;
};
