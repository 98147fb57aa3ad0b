#pragma once

#include "stopresult.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

// Stops systemd units through the service manager's own D-Bus API
// (org.freedesktop.systemd1.Manager.StopUnit, mode "replace"): the user's manager on the
// session bus, the system's on the system bus. Interactive authorization is allowed, so
// the system manager asks polkit itself whether the user may. Unit names go to the manager
// as call arguments, never through a shell, and only names that systemd itself would accept.
class UnitStopper : public QObject
{
    Q_OBJECT

public:
    enum class Manager
    {
        User,
        System,
    };
    using Done = std::function<void(const StopResult&)>;

    // Empty addresses: the standard session and system buses.
    explicit UnitStopper(QString userBusAddress = {}, QString systemBusAddress = {},
                         QObject* parent = nullptr);
    ~UnitStopper() override;

    // Stops the units in order ("cups.socket", then "cups.service"), each once the one before
    // is stopped; the first that fails ends it. done runs once, on this thread, unless
    // context is gone by then.
    void stop(const QStringList& units, Manager manager, const QObject* context, Done done);

    // A service or socket unit's name as systemd allows it: "vite.service",
    // "app-web@1.service", "cups.socket".
    static bool isStoppableUnit(QStringView name);

    // A port the manager itself listens on for a socket unit, to start its service on the
    // first connection.
    struct SocketUnit
    {
        QString unit;         // "cups.socket"
        QStringList triggers; // what it starts: "cups.service"
        quint16 port = 0;
        bool udp = false;
        friend bool operator==(const SocketUnit&, const SocketUnit&) = default;
    };
    using SocketsFound = std::function<void(const QList<SocketUnit>&)>;
    // The manager's active socket units that listen on ports; none when it can't be asked.
    // done runs once, on this thread, unless context is gone by then.
    void findSocketUnits(Manager manager, const QObject* context, SocketsFound done);
    // The port of one entry of a socket unit's Listen property: ("Stream", "[::]:631"),
    // ("Datagram", "0.0.0.0:5353"), ("Stream", "8080"); nothing for a path or a netlink
    // socket.
    static std::optional<SocketUnit> listeningPort(QStringView type, QStringView address);

    std::chrono::milliseconds answerWithin{5000};
    // The system's manager asks polkit, and polkit the user, for a user who is not root: the
    // call waits while the password dialog does, as long as the user may take.
    std::chrono::milliseconds authorizeWithin{std::chrono::minutes(2)};
    bool mayAskForAuthorization = false; // set for a user who is not root
    // How long a stop by this manager is awaited before it counts as no answer.
    std::chrono::milliseconds deadline(Manager manager) const
    {
        return manager == Manager::System && mayAskForAuthorization ? authorizeWithin
                                                                    : answerWithin;
    }

private:
    void stopNext(QStringList units, Manager manager, std::shared_ptr<Done> done);

    const QString m_userBusAddress;
    const QString m_systemBusAddress;
};
