#include "unitstopper.h"

#include "printabletext.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QTimer>

#include <memory>

#include <unistd.h>

namespace {

StopResult resultOf(const QDBusError& error)
{
    const QString name = error.name();
    if (name == u"org.freedesktop.systemd1.NoSuchUnit" ||
        name == u"org.freedesktop.systemd1.LoadFailed")
        return {StopResult::Outcome::Gone, {}};
    if (name == u"org.freedesktop.DBus.Error.AccessDenied" ||
        name == u"org.freedesktop.DBus.Error.InteractiveAuthorizationRequired" ||
        name.startsWith(u"org.freedesktop.PolicyKit1.Error."))
        return {StopResult::Outcome::Refused, {}};
    if (name == u"org.freedesktop.DBus.Error.NoReply" ||
        name == u"org.freedesktop.DBus.Error.Timeout" ||
        name == u"org.freedesktop.DBus.Error.TimedOut")
        return {StopResult::Outcome::NoAnswer, {}};
    if (name == u"org.freedesktop.DBus.Error.ServiceUnknown" ||
        name == u"org.freedesktop.DBus.Error.NameHasNoOwner" ||
        name == u"org.freedesktop.DBus.Error.Disconnected")
        return {StopResult::Outcome::Unreachable, {}};
    return {StopResult::Outcome::Failed, printableText(error.message().left(300))};
}

QDBusConnection busFor(UnitStopper::Manager manager, const QString& address)
{
    if (address.isEmpty())
        return manager == UnitStopper::Manager::User ? QDBusConnection::sessionBus()
                                                     : QDBusConnection::systemBus();
    const QString name = QStringLiteral("tidewatch-units ") + address;
    const QDBusConnection existing(name);
    return existing.isConnected() ? existing : QDBusConnection::connectToBus(address, name);
}

const QString systemd = QStringLiteral("org.freedesktop.systemd1");

QDBusMessage propertyCall(const QString& path, const QString& interface, const QString& name)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        systemd, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << interface << name;
    return call;
}

// The names and object paths of the active units in ListUnitsByPatterns' answer,
// a(ssssssouso).
QList<std::pair<QString, QString>> activeUnits(const QDBusArgument& units)
{
    QList<std::pair<QString, QString>> paths;
    units.beginArray();
    while (!units.atEnd()) {
        QString name, description, load, active, sub, following, jobType;
        QDBusObjectPath path, jobPath;
        uint job = 0;
        units.beginStructure();
        units >> name >> description >> load >> active >> sub >> following >> path >> job >>
            jobType >> jobPath;
        units.endStructure();
        if (active == u"active" && UnitStopper::isStoppableUnit(name))
            paths.append({name, path.path()});
    }
    units.endArray();
    return paths;
}

// The entries of a Listen property, a(ss).
QList<std::pair<QString, QString>> listenEntries(const QDBusArgument& listen)
{
    QList<std::pair<QString, QString>> entries;
    listen.beginArray();
    while (!listen.atEnd()) {
        QString type, address;
        listen.beginStructure();
        listen >> type >> address;
        listen.endStructure();
        entries.append({type, address});
    }
    listen.endArray();
    return entries;
}

} // namespace

UnitStopper::UnitStopper(QString userBusAddress, QString systemBusAddress, QObject* parent)
    : QObject(parent), m_userBusAddress(std::move(userBusAddress)),
      m_systemBusAddress(std::move(systemBusAddress))
{
    mayAskForAuthorization = ::geteuid() != 0;
}

UnitStopper::~UnitStopper() = default;

void UnitStopper::stop(const QStringList& units, Manager manager, const QObject* context, Done done)
{
    const QPointer<const QObject> guard(context);
    auto finish = std::make_shared<Done>([guard, done = std::move(done)](const StopResult& r) {
        if (guard)
            done(r);
    });
    for (const QString& unit : units) {
        if (!isStoppableUnit(unit)) {
            QTimer::singleShot(0, this, [finish] { (*finish)({StopResult::Outcome::Failed, {}}); });
            return;
        }
    }
    stopNext(units, manager, finish);
}

void UnitStopper::stopNext(QStringList units, Manager manager, std::shared_ptr<Done> done)
{
    if (units.isEmpty()) {
        (*done)({StopResult::Outcome::Stopped, {}});
        return;
    }
    const QDBusConnection bus =
        busFor(manager, manager == Manager::User ? m_userBusAddress : m_systemBusAddress);
    if (!bus.isConnected()) {
        QTimer::singleShot(0, this, [done] { (*done)({StopResult::Outcome::Unreachable, {}}); });
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        systemd, QStringLiteral("/org/freedesktop/systemd1"),
        QStringLiteral("org.freedesktop.systemd1.Manager"), QStringLiteral("StopUnit"));
    call << units.takeFirst() << QStringLiteral("replace");
    // The system manager asks polkit, which asks the user through the desktop's agent.
    call.setInteractiveAuthorizationAllowed(true);
    auto* watcher =
        new QDBusPendingCallWatcher(bus.asyncCall(call, int(deadline(manager).count())), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher, units, manager, done] {
                watcher->deleteLater();
                if (watcher->isError())
                    (*done)(resultOf(watcher->error()));
                else
                    stopNext(units, manager, done);
            });
}

void UnitStopper::findSocketUnits(Manager manager, const QObject* context, SocketsFound done)
{
    const QPointer<const QObject> guard(context);
    const auto finish = [guard, done = std::move(done)](const QList<SocketUnit>& found) {
        if (guard)
            done(found);
    };
    const QDBusConnection bus =
        busFor(manager, manager == Manager::User ? m_userBusAddress : m_systemBusAddress);
    if (!bus.isConnected()) {
        QTimer::singleShot(0, this, [finish] { finish({}); });
        return;
    }
    QDBusMessage list = QDBusMessage::createMethodCall(
        systemd, QStringLiteral("/org/freedesktop/systemd1"),
        QStringLiteral("org.freedesktop.systemd1.Manager"), QStringLiteral("ListUnitsByPatterns"));
    list << QStringList() << QStringList{QStringLiteral("*.socket")};
    const int timeout = int(answerWithin.count());
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(list, timeout), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [=, this] {
        watcher->deleteLater();
        const QDBusMessage reply = watcher->reply();
        if (watcher->isError() || reply.arguments().isEmpty()) {
            finish({});
            return;
        }
        // Each unit's ports and what it starts: two properties, asked all at once, and the
        // answer given when the last is in. A unit whose answers fail is left out.
        const QList<std::pair<QString, QString>> units =
            activeUnits(reply.arguments().constFirst().value<QDBusArgument>());
        auto found = std::make_shared<QList<SocketUnit>>();
        auto pending = std::make_shared<int>(int(units.size()));
        if (units.isEmpty()) {
            finish({});
            return;
        }
        for (const auto& unit : units) {
            const QString name = unit.first;
            const QString path = unit.second;
            auto* listen = new QDBusPendingCallWatcher(
                bus.asyncCall(propertyCall(path, QStringLiteral("org.freedesktop.systemd1.Socket"),
                                           QStringLiteral("Listen")),
                              timeout),
                this);
            connect(listen, &QDBusPendingCallWatcher::finished, this, [=, this] {
                listen->deleteLater();
                QList<SocketUnit> ports;
                if (!listen->isError() && !listen->reply().arguments().isEmpty()) {
                    const QDBusVariant value =
                        listen->reply().arguments().constFirst().value<QDBusVariant>();
                    for (const auto& [type, address] :
                         listenEntries(value.variant().value<QDBusArgument>())) {
                        if (auto port = listeningPort(type, address))
                            ports.append(*port);
                    }
                }
                if (ports.isEmpty()) {
                    if (--*pending == 0)
                        finish(*found);
                    return;
                }
                auto* triggers = new QDBusPendingCallWatcher(
                    bus.asyncCall(propertyCall(path,
                                               QStringLiteral("org.freedesktop.systemd1.Unit"),
                                               QStringLiteral("Triggers")),
                                  timeout),
                    this);
                connect(triggers, &QDBusPendingCallWatcher::finished, this, [=] {
                    triggers->deleteLater();
                    if (!triggers->isError() && !triggers->reply().arguments().isEmpty()) {
                        QStringList started = triggers->reply()
                                                  .arguments()
                                                  .constFirst()
                                                  .value<QDBusVariant>()
                                                  .variant()
                                                  .toStringList();
                        started.removeIf(
                            [](const QString& unit) { return !isStoppableUnit(unit); });
                        for (SocketUnit port : ports) {
                            port.unit = name;
                            port.triggers = started;
                            found->append(port);
                        }
                    }
                    if (--*pending == 0)
                        finish(*found);
                });
            });
        }
    });
}
