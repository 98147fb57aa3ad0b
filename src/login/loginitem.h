#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

// "Open at login": an entry in the user's folders that the desktop reads when the user logs
// in. The entry on disk is the only state; every call looks at it afresh.
class LoginItem
{
public:
    // Why a change of the login item failed; message() is what the user reads.
    class Failure
    {
    public:
        explicit Failure(QString message) : m_message(std::move(message)) {}
        const QString& message() const { return m_message; }

    private:
        QString m_message;
    };

    // What the item knows of the program and the user, handed in so tests can give their own.
    struct Environment
    {
        QString identifier;     // names the entry; empty: "com.kestrel.unknown"
        QString homePath;       // the user's home folder
        QString configHome;     // $XDG_CONFIG_HOME; empty or relative: <home>/.config
        QString executablePath; // the program the entry starts, an absolute path
        QString launchctlPath = QStringLiteral("/bin/launchctl");
        QString desktopTemplate; // the program's own .desktop file, for autostart entries
    };

    virtual ~LoginItem() = default;
    LoginItem(const LoginItem&) = delete;
    LoginItem& operator=(const LoginItem&) = delete;

    const QString& label() const { return m_label; }
    // Where the entry lives. Any item there, even one that is not a valid entry, means on.
    const QString& entryPath() const { return m_entryPath; }
    bool isEnabled() const;
    // Writes or removes the entry. After a failure, isEnabled() tells what is on disk.
    [[nodiscard]] std::optional<Failure> setEnabled(bool enabled);

    // The kind of entry this platform's desktop reads.
    static std::unique_ptr<LoginItem> forPlatform(const Environment& environment);
    static QString labelFor(const Environment& environment);

protected:
    LoginItem(const Environment& environment, const QString& entryPath);

    const Environment& environment() const { return m_environment; }
    // The entry's bytes, naming environment().executablePath.
    virtual QByteArray entryContents() const = 0;
    // Runs on every disable, before the entry is touched and whether or not it exists.
    virtual void beforeRemoving() const {}

private:
    std::optional<Failure> enable();
    std::optional<Failure> disable();

    const Environment m_environment;
    const QString m_label;
    const QString m_entryPath;
};
