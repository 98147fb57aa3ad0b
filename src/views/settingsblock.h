#pragma once

#include <QWidget>

class LoginItem;
class NoticeBox;
class QAbstractButton;
class QCheckBox;

// The panel's settings: "Open at login", "Check for updates…", and after a failed change of
// the login item a box with the failure's message, until a later change succeeds.
class SettingsBlock : public QWidget
{
    Q_OBJECT

public:
    explicit SettingsBlock(LoginItem& loginItem, QWidget* parent = nullptr);

    // A build without an update feed cannot check: the link stays, disabled, and says why.
    void setUpdateChecksAvailable(bool available);

Q_SIGNALS:
    // "Check for updates…" was pressed: a check on the user's behalf.
    void checkForUpdatesRequested();

private:
    void setOpenAtLogin(bool open);

    LoginItem& m_loginItem;
    QCheckBox* m_openAtLogin = nullptr;
    QAbstractButton* m_checkForUpdates = nullptr;
    NoticeBox* m_errorBox = nullptr;
};
