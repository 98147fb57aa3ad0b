#pragma once

#include <QString>

// The two dialogs of the update prompter. The real ones are modal message boxes; tests
// answer them in advance. Texts from the feed arrive here and must show as plain text.
class UpdateAlerts
{
public:
    virtual ~UpdateAlerts() = default;

    // Offers "Download" (the default) and "Later"; true when the user chose "Download".
    virtual bool showUpdateAvailable(const QString& message, const QString& informative) = 0;
    // One "OK" button.
    virtual void showUpToDate(const QString& message, const QString& informative) = 0;
};
