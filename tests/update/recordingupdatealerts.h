#pragma once

#include "updatealerts.h"

#include <QList>
#include <QString>

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
        return answerDownload;
    }
    void showUpToDate(const QString& message, const QString& informative) override
    {
        upToDateAlerts.append({message, informative});
    }

    bool answerDownload = false;
    QList<Shown> updateAlerts;
    QList<Shown> upToDateAlerts;
};
