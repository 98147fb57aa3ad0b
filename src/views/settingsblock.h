#pragma once

#include <QWidget>

class LoginItem;
class QCheckBox;
class QLabel;

// The panel's settings: "Open at login", "Check for updates…", and after a failed change of
// the login item a box with the failure's message, until a later change succeeds.
class SettingsBlock : public QWidget
{
    Q_OBJECT

public:
    explicit SettingsBlock(LoginItem& loginItem, QWidget* parent = nullptr);

Q_SIGNALS:
    // "Check for updates…" was pressed: a check on the user's behalf.
    void checkForUpdatesRequested();

protected:
    void changeEvent(QEvent* event) override;

private:
    class WrappingLabel;

    void setOpenAtLogin(bool open);
    void updateColors();

    LoginItem& m_loginItem;
    QCheckBox* m_openAtLogin = nullptr;
    QWidget* m_errorBox = nullptr;
    QLabel* m_errorIcon = nullptr;
    WrappingLabel* m_errorText = nullptr;
};
