#pragma once

#include "updatealerts.h"

// The update alerts as modal message boxes, titled with the application's display name.
// Every text shows as plain text that can be selected: parts of it come from the update
// feed, and an address may have to be copied by hand.
class MessageBoxAlerts final : public UpdateAlerts
{
public:
    bool showUpdateAvailable(const QString& message, const QString& informative) override;
    void showMessage(Kind kind, const QString& message, const QString& informative) override;
};
