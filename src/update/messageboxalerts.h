#pragma once

#include "updatealerts.h"

// The update alerts as modal message boxes. Every text shows as plain text: parts of it
// come from the update feed.
class MessageBoxAlerts final : public UpdateAlerts
{
public:
    bool showUpdateAvailable(const QString& message, const QString& informative) override;
    void showUpToDate(const QString& message, const QString& informative) override;
};
