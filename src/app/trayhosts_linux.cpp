#include "trayhosts.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QWidget>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

// All the watcher's properties in one call: whether a host is registered, and the items.
QDBusMessage watcherQuery()
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        watcherService, QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
    message << watcherService;
    // Only a watcher that runs counts; none is started for the question.
    message.setAutoStartService(false);
    return message;
}

struct WatcherAnswer
{
    bool hostRegistered = false;
    bool ownItemRegistered = false;
};

// note: Qt's icon talks over a bus connection of its own, named after the process and the
// icons made so far ("org.kde.StatusNotifierItem-PID-N"), and registers that connection's
// unique name with the watcher (older Qt: the connection's name). A watcher may add the
// object path after a slash.
bool isOwnItem(const QString& item)
{
    const QString service = item.section(u'/', 0, 0);
    const QString prefix =
        QStringLiteral("org.kde.StatusNotifierItem-%1-").arg(QCoreApplication::applicationPid());
    if (service.startsWith(prefix))
        return true;
    for (int icon = 1; icon <= 8; ++icon) {
        const QString unique = QDBusConnection(prefix + QString::number(icon)).baseService();
        if (!unique.isEmpty() && unique == service)
            return true;
    }
    return false;
}

WatcherAnswer readWatcher(const QDBusMessage& reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    const auto properties = qdbus_cast<QVariantMap>(reply.arguments().constFirst());
    const QStringList items =
        properties.value(QStringLiteral("RegisteredStatusNotifierItems")).toStringList();
    return {properties.value(QStringLiteral("IsStatusNotifierHostRegistered")).toBool(),
            std::any_of(items.cbegin(), items.cend(), isOwnItem)};
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
// directly, and the icon is made only once one of them is there. A host that leaves for a
// moment just then makes Qt choose the X11 kind all the same, so whether the icon is shown
// is asked too: the watcher lists it, or the X server has put it inside the tray.
//
// Nothing is polled: the X server says when the tray's selection changes hands (XFixes), and
// the bus when the watcher comes or goes or a host registers with it. A program that runs
// all day should not wake every few seconds to ask.
class PlatformTrayHosts final : public TrayHosts, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    PlatformTrayHosts()
    {
        if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>())
            m_x11 = x11->connection();
        if (m_x11) {
            watchTraySelection();
            qApp->installNativeEventFilter(this);
        }
        m_state.systemTray = hasSystemTray();
        if (m_x11)
            watchTrayColors();

        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return;
        m_watcher = readWatcher(bus.call(watcherQuery(), QDBus::Block, startTimeoutMs));
        m_state.statusNotifier = m_watcher.hostRegistered;
        auto* watcher = new QDBusServiceWatcher(watcherService, bus,
                                                QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
                &PlatformTrayHosts::askWatcher);
        for (const char* signal :
             {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered",
              "StatusNotifierItemRegistered", "StatusNotifierItemUnregistered"})
            bus.connect(watcherService, QStringLiteral("/StatusNotifierWatcher"), watcherService,
                        QLatin1String(signal), this, SLOT(askWatcher()));
    }

    ~PlatformTrayHosts() override
    {
        if (m_x11)
            qApp->removeNativeEventFilter(this);
        if (m_colorWatch)
            xcb_disconnect(m_colorWatch);
    }

    State state() const override { return m_state; }

    void followIcon() override
    {
        m_iconMade = true;
        // The watcher also says when the icon registers, which Qt does over a connection of
        // its own and so may be done before this asks or after.
        if (QDBusConnection::sessionBus().isConnected())
            askWatcher();
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        if (eventType != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        const int type = event->response_type & 0x7f;
        const bool trayChanged =
            type == m_selectionNotify &&
            reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event)->selection ==
                m_trayAtom;
        // The tray takes the icon's window in, or lets it go.
        if (trayChanged || (type == XCB_REPARENT_NOTIFY && m_iconMade))
            update(m_watcher, hasSystemTray());
        if (trayChanged)
            followTrayColors();
        return false; // Qt's own handling goes on
    }

    std::optional<QColor> trayColor() const override { return m_trayColor; }

private Q_SLOTS:
    // Asked without waiting: a watcher that hangs must not freeze the panel.
    void askWatcher()
    {
        if (m_asking) {
            m_askAgain = true; // the answer on its way may predate what was announced
            return;
        }
        m_asking = true;
        auto* call = new QDBusPendingCallWatcher(
            QDBusConnection::sessionBus().asyncCall(watcherQuery()), this);
        connect(call, &QDBusPendingCallWatcher::finished, this, [this, call] {
            call->deleteLater();
            m_asking = false;
            update(readWatcher(call->reply()), m_state.systemTray);
            if (std::exchange(m_askAgain, false))
                askWatcher();
        });
    }

private:
    static constexpr int startTimeoutMs = 1000;

    // Asks the X server to tell us whenever the tray's selection is taken or let go.
    void watchTraySelection()
    {
        const QByteArray selection = "_NET_SYSTEM_TRAY_S" + QByteArray::number(x11ScreenNumber());
        const auto cookie = xcb_intern_atom(m_x11, 0, selection.size(), selection.constData());
        if (auto* reply = xcb_intern_atom_reply(m_x11, cookie, nullptr)) {
            m_trayAtom = reply->atom;
            std::free(reply);
        }
        const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(m_x11, &xcb_xfixes_id);
        xcb_screen_iterator_t screen = xcb_setup_roots_iterator(xcb_get_setup(m_x11));
        for (int i = x11ScreenNumber(); i > 0 && screen.rem > 0; --i)
            xcb_screen_next(&screen);
        if (m_trayAtom == XCB_ATOM_NONE || !xfixes || !xfixes->present || screen.rem == 0)
            return;
        // The extension answers only a client that said which version it speaks.
        std::free(xcb_xfixes_query_version_reply(
            m_x11,
            xcb_xfixes_query_version(m_x11, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION),
            nullptr));
        xcb_xfixes_select_selection_input(
            m_x11, screen.data->root, m_trayAtom,
            XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
        xcb_flush(m_x11);
        m_selectionNotify = xfixes->first_event + XCB_XFIXES_SELECTION_NOTIFY;
    }

    // Who owns the tray's selection: one round trip to the X server.
    bool hasSystemTray()
    {
        m_trayOwner = XCB_WINDOW_NONE;
        if (!m_x11 || m_trayAtom == XCB_ATOM_NONE)
            return false;
        auto* reply = xcb_get_selection_owner_reply(
            m_x11, xcb_get_selection_owner(m_x11, m_trayAtom), nullptr);
        if (reply)
            m_trayOwner = reply->owner;
        std::free(reply);
        return m_trayOwner != XCB_WINDOW_NONE;
    }

    // note: the tray's colours are a property of its window, and a change of them comes as an
    // event on that window. Qt's connection is not asked for those events: Qt sets its own
    // event mask on the tray's window, and the last mask set on a connection wins. A second
    // connection keeps a mask of its own, and is quiet until the tray changes its colours.
    void watchTrayColors()
    {
        m_colorWatch = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_colorWatch)) {
            xcb_disconnect(m_colorWatch);
            m_colorWatch = nullptr;
            return;
        }
        static constexpr char name[] = "_NET_SYSTEM_TRAY_COLORS";
        auto* reply = xcb_intern_atom_reply(
            m_colorWatch, xcb_intern_atom(m_colorWatch, 0, sizeof name - 1, name), nullptr);
        if (reply)
            m_colorsAtom = reply->atom;
        std::free(reply);
        auto* notifier =
            new QSocketNotifier(xcb_get_file_descriptor(m_colorWatch), QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this, notifier] {
            // A connection the server closed stays readable for ever.
            if (xcb_connection_has_error(m_colorWatch)) {
                notifier->setEnabled(false);
                return;
            }
            bool colorsChanged = false;
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_colorWatch)) {
                if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY &&
                    reinterpret_cast<xcb_property_notify_event_t*>(event)->atom == m_colorsAtom)
                    colorsChanged = true;
                std::free(event);
            }
            if (colorsChanged)
                readTrayColors();
        });
        followTrayColors();
    }

    // Listens to the tray that owns the selection now, and reads its colours.
    void followTrayColors()
    {
        if (!m_colorWatch || m_colorsAtom == XCB_ATOM_NONE)
            return;
        if (m_trayOwner != XCB_WINDOW_NONE) {
            const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
            xcb_change_window_attributes(m_colorWatch, m_trayOwner, XCB_CW_EVENT_MASK, &mask);
        }
        readTrayColors();
    }

    // The first of the colours the tray announces (normal, error, warning, success), each
    // as red, green and blue from 0 to 65535.
    void readTrayColors()
    {
        std::optional<QColor> color;
        if (m_trayOwner != XCB_WINDOW_NONE) {
            auto* reply =
                xcb_get_property_reply(m_colorWatch,
                                       xcb_get_property(m_colorWatch, 0, m_trayOwner, m_colorsAtom,
                                                        XCB_ATOM_CARDINAL, 0, 3),
                                       nullptr);
            if (reply && reply->format == 32 && xcb_get_property_value_length(reply) >= 12) {
                const auto* rgb = static_cast<const uint32_t*>(xcb_get_property_value(reply));
                color = QColor::fromRgba64(rgb[0] & 0xffff, rgb[1] & 0xffff, rgb[2] & 0xffff);
            }
            std::free(reply);
        }
        if (color == m_trayColor)
            return;
        m_trayColor = color;
        Q_EMIT changed();
    }

    // Qt's X11 icon is a top-level widget it names so; inside the tray, its window's parent
    // is the tray's, not the screen's root.
    bool isIconEmbedded() const
    {
        const QList<QWidget*> widgets = QApplication::topLevelWidgets();
        return std::any_of(widgets.cbegin(), widgets.cend(), [this](const QWidget* widget) {
            if (widget->objectName() != u"QSystemTrayIconSys" || !widget->internalWinId())
                return false;
            auto* reply = xcb_query_tree_reply(
                m_x11, xcb_query_tree(m_x11, xcb_window_t(widget->internalWinId())), nullptr);
            const bool inside = reply && reply->parent != reply->root;
            std::free(reply);
            return inside;
        });
    }

    void update(const WatcherAnswer& watcher, bool systemTray)
    {
        m_watcher = watcher;
        const bool shown = m_iconMade && ((watcher.hostRegistered && watcher.ownItemRegistered) ||
                                          (systemTray && isIconEmbedded()));
        const State state{watcher.hostRegistered, systemTray, shown};
        if (state == m_state)
            return;
        m_state = state;
        Q_EMIT changed();
    }

    xcb_connection_t* m_x11 = nullptr;
    xcb_atom_t m_trayAtom = XCB_ATOM_NONE;
    int m_selectionNotify = -1; // the XFixes event's type, once it is asked for
    State m_state;
    xcb_window_t m_trayOwner = XCB_WINDOW_NONE;
    xcb_connection_t* m_colorWatch = nullptr; // for the tray's colours only
    xcb_atom_t m_colorsAtom = XCB_ATOM_NONE;
    std::optional<QColor> m_trayColor;
    WatcherAnswer m_watcher;
    bool m_iconMade = false;
    bool m_asking = false;
    bool m_askAgain = false;
};

} // namespace

std::unique_ptr<TrayHosts> makePlatformTrayHosts()
{
    return std::make_unique<PlatformTrayHosts>();
}

#include "trayhosts_linux.moc"
