#include "trayhosts.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QTimer>

#include <xcb/xcb.h>

#include <cstdlib>

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

QDBusMessage hostRegisteredQuery()
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        watcherService, QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    message << watcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    // Only a watcher that runs counts; none is started for the question.
    message.setAutoStartService(false);
    return message;
}

bool isTrue(const QDBusMessage& reply)
{
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
}

// The screen number from DISPLAY (":0.1" is screen 1), as the tray's selection is per screen.
int x11ScreenNumber()
{
    const QString display = qEnvironmentVariable("DISPLAY");
    const qsizetype dot = display.lastIndexOf(u'.');
    return dot > display.lastIndexOf(u':') ? display.mid(dot + 1).toInt() : 0;
}

// note: Qt decides once per process whether its tray icons go to a StatusNotifierItem host,
// at the first icon made or the first QSystemTrayIcon::isSystemTrayAvailable(). Asked
// before a host runs, it would never use one that starts later. So the hosts are asked here
// directly, and the icon is made only once one of them is there.
class PlatformTrayHosts final : public TrayHosts
{
public:
    PlatformTrayHosts()
    {
        if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>())
            m_x11 = x11->connection();
        const QByteArray selection = "_NET_SYSTEM_TRAY_S" + QByteArray::number(x11ScreenNumber());
        if (m_x11) {
            const auto cookie = xcb_intern_atom(m_x11, 0, selection.size(), selection.constData());
            if (auto* reply = xcb_intern_atom_reply(m_x11, cookie, nullptr)) {
                m_trayAtom = reply->atom;
                std::free(reply);
            }
        }
        m_state.systemTray = hasSystemTray();
        QDBusConnection bus = QDBusConnection::sessionBus();
        m_state.statusNotifier =
            bus.isConnected() &&
            isTrue(bus.call(hostRegisteredQuery(), QDBus::Block, startTimeoutMs));
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, &PlatformTrayHosts::poll);
        timer->start(pollIntervalMs);
    }

    State state() const override { return m_state; }

private:
    static constexpr int startTimeoutMs = 1000;

    // Who owns the tray's selection: one round trip to the X server.
    bool hasSystemTray() const
    {
        if (!m_x11 || m_trayAtom == XCB_ATOM_NONE)
            return false;
        auto* reply = xcb_get_selection_owner_reply(
            m_x11, xcb_get_selection_owner(m_x11, m_trayAtom), nullptr);
        const bool owned = reply && reply->owner != XCB_WINDOW_NONE;
        std::free(reply);
        return owned;
    }

    void poll()
    {
        update({m_state.statusNotifier, hasSystemTray()});
        // Asked without waiting: a watcher that hangs must not freeze the panel.
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected() || m_asking)
            return;
        m_asking = true;
        auto* call = new QDBusPendingCallWatcher(bus.asyncCall(hostRegisteredQuery()), this);
        connect(call, &QDBusPendingCallWatcher::finished, this, [this, call] {
            call->deleteLater();
            m_asking = false;
            update({isTrue(call->reply()), m_state.systemTray});
        });
    }

    void update(const State& state)
    {
        if (state == m_state)
            return;
        m_state = state;
        Q_EMIT changed();
    }

    xcb_connection_t* m_x11 = nullptr;
    xcb_atom_t m_trayAtom = XCB_ATOM_NONE;
    State m_state;
    bool m_asking = false;
};

} // namespace

std::unique_ptr<TrayHosts> makePlatformTrayHosts()
{
    return std::make_unique<PlatformTrayHosts>();
}
