#pragma once

#include "appupdate.h"

#include <QString>

#include <functional>
#include <optional>

// Where the update prompter gets its answer from: the running program's name and version,
// and whether a newer version is out. UpdateChecker asks the feed; tests hand the answer in.
class UpdateSource
{
public:
    using Completion = std::function<void(const std::optional<AppUpdate>&)>;

    virtual ~UpdateSource() = default;

    // The name the alerts use.
    virtual QString appName() const = 0;
    // The running version.
    virtual QString currentVersion() const = 0;
    // Calls the completion exactly once, with the update when there is a newer version;
    // possibly before returning.
    virtual void check(Completion completion) const = 0;
};
