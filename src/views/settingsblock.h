#pragma once

#include <QWidget>

class LoginItem;
class NoticeBox;
class QAbstractButton;
class QCheckBox;

// The panel's settings: "Open at login", whether to notify when ports start or stop
// listening, "Other machines…", "Check for updates…", and after a failed change of the login
// item a box with the failure's message, until a later change succeeds.
class SettingsBlock : public QWidget
{
    Q_OBJECT

public:
    explicit SettingsBlock(LoginItem& loginItem, QWidget* parent = nullptr);

    // A build without an update feed cannot check: the link stays, disabled, and says why.
    void setUpdateChecksAvailable(bool available);
    // What "Open at login" shows: what was on disk when last read or changed.
    bool isOpenAtLogin() const;
    // Changes the login item as a click on "Open at login" does, whoever asks (the tray
    // icon's menu too); false when it failed, and the block then says why.
    bool setOpenAtLogin(bool open);
    // What the notification box shows; the block keeps no setting of its own.
    void setNotifyOnPortChanges(bool notify);

Q_SIGNALS:
    // "Other machines…" was pressed.
    void otherMachinesRequested();
    // "Check for updates…" was pressed: a check on the user's behalf.
    void checkForUpdatesRequested();
    // After every change asked for, with what is on disk now, failed or not.
    void openAtLoginChanged(bool enabled);
    // The user ticked or cleared the notification box.
    void notifyOnPortChangesToggled(bool notify);

private:
    LoginItem& m_loginItem;
    QCheckBox* m_openAtLogin = nullptr;
    QCheckBox* m_notify = nullptr;
    QAbstractButton* m_otherMachines = nullptr;
    QAbstractButton* m_checkForUpdates = nullptr;
    NoticeBox* m_errorBox = nullptr;
};
