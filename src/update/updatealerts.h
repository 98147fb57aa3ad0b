#pragma once

#include <QString>

// The dialogs of the update prompter. The real ones are modal message boxes; tests answer
// them in advance. Texts from the feed arrive here and must show as plain text.
class UpdateAlerts
{
public:
    enum class Kind
    {
        Information,
        Warning
    };

    virtual ~UpdateAlerts() = default;

    // Offers "Download" (the default) and "Later"; true when the user chose "Download".
    virtual bool showUpdateAvailable(const QString& message, const QString& informative) = 0;
    // One "OK" button: the up-to-date answer, or a warning that something failed.
    virtual void showMessage(Kind kind, const QString& message, const QString& informative) = 0;
};
