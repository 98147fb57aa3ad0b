#pragma once

#include "updatealerts.h"

#include <memory>

class QMessageBox;
class QPushButton;

// The update alerts as modal message boxes. Every text shows as plain text: parts of it
// come from the update feed.
class MessageBoxAlerts final : public UpdateAlerts
{
public:
    bool showUpdateAvailable(const QString& message, const QString& informative) override;
    void showUpToDate(const QString& message, const QString& informative) override;

    // The boxes are built apart from running them, so they can be looked at without a
    // modal loop. The first button added is the default.
    static std::unique_ptr<QMessageBox> buildUpdateAvailable(const QString& message,
                                                             const QString& informative);
    static std::unique_ptr<QMessageBox> buildUpToDate(const QString& message,
                                                      const QString& informative);
};
