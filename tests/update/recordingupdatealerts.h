#pragma once

#include "updatealerts.h"

#include <QList>

#include <QString>
#include <functional>

// Records the alerts instead of showing them, and answers the update alert in advance.
class RecordingUpdateAlerts final : public UpdateAlerts
{
public:
    struct Shown
    {
        QString message;
        QString informative;
    };

    bool showUpdateAvailable(const QString& message, const QString& informative) override
    {
        updateAlerts.append({message, informative});
        if (whileShowing)
            whileShowing();
        return answerDownload;
    }
    void showUpToDate(const QString& message, const QString& informative) override
    {
        upToDateAlerts.append({message, informative});
        if (whileShowing)
            whileShowing();
    }

    bool answerDownload = false;
    // Runs while an alert is up, to look at what was done before it showed.
    std::function<void()> whileShowing;
    QList<Shown> updateAlerts;
    QList<Shown> upToDateAlerts;
};
