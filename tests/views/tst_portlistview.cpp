#include "adminfree.h"
#include "applicationinfo.h"
#include "containerstopper.h"
#include "fakeportsource.h"
#include "noticebox.h"
#include "panelstyle.h"
#include "portlist.h"
#include "portlistmodel.h"
#include "portlistview.h"
#include "portrowdelegate.h"
#include "portscanner.h"
#include "recordingdesktopservices.h"
#include "recordingprocesscontrol.h"
#include "restartcause.h"
#include "unitstopper.h"

#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

namespace {

// The lineage of processes as a test gives it.
struct FakeProcessTable final : ProcessTable
{
    std::optional<LineageProcess> read(qint32 pid) const override
    {
        const auto it = rows.constFind(pid);
        return it == rows.constEnd() ? std::nullopt : std::optional(*it);
    }
    QHash<qint32, LineageProcess> rows;
};

// The panel in a window of its own, over a scanner whose source and process calls the test
// controls.
struct Panel
{
    explicit Panel(const QString& tip = QStringLiteral("https://example.org/tip"),
                   const QString& contact = QStringLiteral("mailto:maker@example.org"))
        : scanner(source, processes),
          view(scanner, desktop, *processes, ApplicationInfo{{}, {}, {}, {}, {}, tip, contact})
    {
        manager.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // A settings block, put in after the footer was built, as the program does.
        auto* settings = new QWidget;
        (new QCheckBox(settings))->setObjectName(QStringLiteral("setting"));
        view.setSettingsWidget(settings);
        QObject::connect(&view, &PortListView::forwardRequested, &view,
                         [this](const QString& host, const ListeningPort& port, bool start) {
                             passedOn.append(QStringLiteral("%1 %2 %3")
                                                 .arg(start ? u"forward" : u"stop", host)
                                                 .arg(port.port()));
                         });
        // The first scan, of nothing: later records are new.
        QVERIFY(QTest::qWaitFor([&] { return scanner.lastScan().has_value(); }));
        // Opened as its popup opens: shown, active, and the panel given the keys.
        view.show();
        view.activateWindow();
        view.setFocus(Qt::PopupFocusReason);
    }

    ~Panel()
    {
        for (QProcess* process : {&manager, &bus}) {
            process->kill();
            process->waitForFinished();
        }
    }

    // Publishes ports through a real scan and waits until the scanner has them (and the
    // window is active).
    bool publish(const QList<ListeningPort>& ports)
    {
        source->setPorts(ports);
        for (const ListeningPort& port : ports)
            processes->setProcess(port.pid(), port.processName());
        const QSignalSpy scanned(&scanner, &PortScanner::lastScanChanged);
        scanner.scan();
        const bool published =
            QTest::qWaitFor([&] { return !scanned.isEmpty() && scanner.ports() == ports; });
        queriesAtPublish = source->queryCount();
        return published && QTest::qWaitForWindowActive(&view);
    }

    PortList* list() const { return view.list(); }
    PortListModel* model() const { return view.model(); }
    QWidget* viewport() const { return view.list()->viewport(); }
    QAbstractButton* button(const char* name) const
    {
        return view.findChild<QAbstractButton*>(QLatin1String(name));
    }
    QRect rowRect(int row) const { return list()->visualRect(model()->index(row)); }

    // What a user does, step by step: keys to whatever has the focus ("Down", "Shift+Del"),
    // "point:N" moves the pointer onto row N, "still" is what Qt sends by itself to a pointer
    // that has not moved when widgets change under it, "leave" takes the pointer off the
    // list, "click:NAME" ("Shift+click:NAME") clicks a button, "publish:PORT/PID,..."
    // refreshes the list with records without names ("PORT/0/USER": another user's socket;
    // "PORTu/PID": a UDP socket), "rescan" scans again and gets the very list the scanner
    // holds, "restart" checks that a panel started over these records marks none of them new,
    // "hide" hides the panel, "noopener" leaves URLs unopened, "refuse:PID" makes signals to
    // a pid fail, "newcomer:PID" gives a pid to another process, "opens:N" checks how many
    // times processes were opened, "root" runs the panel as root, "stillrunning:N" waits until row
    // N says its process ignored the request to quit, "focus:NAME" and "shown:NAME" check where the
    // keys go and what shows, "taller" that a taller panel gives the height to the list, and
    // "palette:dark" ("palette:light") that the panel's texts read in such a palette,
    // "empty:N" that the empty list says N system ports hide, "notice:TEXT" that the notice
    // box's text and button ('|' between) hold TEXT ('+' for a space),
    // ("empty:0": that nothing listens; "empty:TEXT": that nothing matches TEXT).
    // "stoppers" gives the panel what stops owners for good (no service manager or engine
    // to reach; the stand-in pkexec), "stoppers:manager" the stand-in service manager
    // instead (its calls are effects), "lineage:PID/PARENT/PROGRAM/UNIT/CONTAINER,..." the
    // processes' lineage, "name:N/TEXT" waits until row N's name is TEXT.
    // "type:TEXT" types into whatever has the focus ('+' for a space), "rows:N" checks how
    // many rows show, "appeared:N,..." which rows are marked new; "menu:N" right-clicks row N,
    // "menu:key" is the Menu key, "pick:TEXT" takes the open menu's entry (its text without
    // spaces) and "entries" notes the open menu's entries, disabled ones in brackets.
    // "remote:HOST" adds a machine with TCP 3000 (node, pid 700) and UDP 3001, "remote:HOST!"
    // one that can't be reached, tried again at 12:00:05; "forwarded:HOST/PORT/LOCAL" and "ended:HOST/PORT" give a
    // port a forward; "says:N=TEXT" checks what row N says to a screen reader.
    void type(const QString& steps)
    {
        for (const QString& step : steps.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QString arg = step.section(QLatin1Char(':'), 1);
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            const QStringList parts = arg.split(u'/');
            if (step.startsWith(QLatin1String("remote:"))) {
                RemoteSection section;
                section.host = QString(arg).remove(u'!');
                section.state = arg.endsWith(u'!') ? RemoteSection::State::Unreachable
                                                   : RemoteSection::State::Listed;
                section.reason = QStringLiteral("Connection refused");
                section.nextTry = QDateTime(QDate(2026, 1, 1), QTime(12, 0, 5));
                if (!arg.endsWith(u'!'))
                    section.ports = {ListeningPort(3000, 700, QStringLiteral("node"), {},
                                                   {QStringLiteral("0.0.0.0")}),
                                     ListeningPort(3001, 700, QStringLiteral("node"), {}, {}, 0,
                                                   {}, {}, ListeningPort::Protocol::Udp)};
                sections.append(section);
                view.setRemoteSections(sections);
            } else if (step.startsWith(QLatin1String("forwarded:")) ||
                       step.startsWith(QLatin1String("ended:"))) {
                for (RemoteSection& section : sections) {
                    if (section.host == parts.value(0))
                        section.forwards[parts.value(1).toInt()] =
                            step.startsWith(u'f') ? ForwardState{true, quint16(parts.value(2).toInt()), {}}
                                                  : ForwardState{false, 0, QStringLiteral("gone")};
                }
                view.setRemoteSections(sections);
            } else if (step.startsWith(QLatin1String("says:"))) {
                QCOMPARE(model()->index(arg.section(u'=', 0, 0).toInt()).data(Qt::AccessibleTextRole).toString(),
                         arg.section(u'=', 1).replace(u'+', u' '));
            } else if (step.startsWith(QLatin1String("type:"))) {
                QTest::keyClicks(QApplication::focusWidget(), QString(arg).replace(u'+', u' '));
            } else if (step.startsWith(QLatin1String("rows:"))) {
                QCOMPARE(model()->rowCount(), arg.toInt());
            } else if (step.startsWith(QLatin1String("appeared:"))) {
                QStringList rows;
                for (int row = 0; row < model()->rowCount(); ++row) {
                    if (model()->index(row).data(PortListModel::AppearedRole).toBool())
                        rows.append(QString::number(row));
                }
                QCOMPARE(rows.join(u','), arg);
            } else if (step.startsWith(QLatin1String("menu:"))) {
                const bool byKey = arg == u"key";
                const QPoint at = byKey ? QPoint() : rowRect(arg.toInt()).center();
                QContextMenuEvent event(byKey ? QContextMenuEvent::Keyboard
                                              : QContextMenuEvent::Mouse,
                                        at, viewport()->mapToGlobal(at));
                QCoreApplication::sendEvent(byKey ? QApplication::focusWidget() : viewport(),
                                            &event);
                QTRY_VERIFY(QApplication::activePopupWidget());
            } else if (step.startsWith(QLatin1String("pick:")) ||
                       step == QLatin1String("entries")) {
                QVERIFY(menu);
                QStringList entries;
                for (QAction* action : menu->actions()) {
                    const QString text = action->text();
                    if (QString(text).remove(u' ') == arg && action->isEnabled())
                        action->trigger();
                    if (!action->isSeparator())
                        entries.append(action->isEnabled() ? text : u'(' + text + u')');
                }
                if (step == QLatin1String("entries"))
                    passedOn.append(QStringLiteral("entries: ") + entries.join(u'/'));
                menu->close();
            } else if (step.startsWith(QLatin1String("point:"))) {
                // Qt drops a move to where the pointer already is, so arrive from one pixel off.
                QTest::mouseMove(viewport(), rowRect(arg.toInt()).center() + QPoint(1, 1));
                QTest::mouseMove(viewport(), rowRect(arg.toInt()).center());
                QVERIFY(QTest::qWaitFor([&] { return model()->hoveredRow() == arg.toInt(); }));
            } else if (step == QLatin1String("still")) {
                const QPoint at = viewport()->mapFromGlobal(QCursor::pos());
                QMouseEvent move(QEvent::MouseMove, at, QCursor::pos(), Qt::NoButton, {}, {});
                QEnterEvent enter(at, at, QCursor::pos());
                QEvent leave(QEvent::Leave);
                for (QEvent* event : std::initializer_list<QEvent*>{&move, &enter, &leave})
                    QCoreApplication::sendEvent(viewport(), event);
            } else if (step == QLatin1String("restart")) {
                // A panel made before the first scan, over a source with records already.
                PortScanner restarted(source, processes);
                const PortListView fresh(restarted, desktop, *processes, ApplicationInfo{});
                QVERIFY(QTest::qWaitFor([&] { return restarted.lastScan().has_value(); }));
                QCOMPARE(fresh.model()->rowCount(), model()->rowCount());
                for (int row = 0; row < fresh.model()->rowCount(); ++row)
                    QVERIFY(!fresh.model()->index(row).data(PortListModel::AppearedRole).toBool());
            } else if (step == QLatin1String("rescan")) {
                QVERIFY(publish(QList(scanner.ports())));
            } else if (step.startsWith(QLatin1String("publish:"))) {
                QList<ListeningPort> ports;
                for (const QString& record : arg.split(u',', Qt::SkipEmptyParts)) {
                    QString port = record.section(u'/', 0, 0);
                    const auto protocol = port.endsWith(u'u') ? ListeningPort::Protocol::Udp
                                                              : ListeningPort::Protocol::Tcp;
                    ports.append(ListeningPort(port.remove(u'u').toInt(),
                                               record.section(u'/', 1, 1).toInt(), {},
                                               record.section(u'/', 2), {}, 0, {}, {}, protocol));
                }
                QVERIFY(publish(ports));
            } else if (step == QLatin1String("stoppers:manager")) {
                startManager();
                view.setStoppers({table, busUnits.get(), nullptr, &admin, {}});
            } else if (step == QLatin1String("stoppers")) {
                view.setStoppers({table, &units, &containers, &admin, [](const QString& id) {
                                      return id == u"3f2a9c81e0d4" ? QStringLiteral("web")
                                                                   : QString();
                                  }});
            } else if (step.startsWith(QLatin1String("lineage:"))) {
                for (const QString& row : arg.split(u',')) {
                    const QStringList f = row.split(u'/');
                    table->rows.insert(f[0].toInt(), {.pid = f[0].toInt(),
                                                      .parentPid = f[1].toInt(),
                                                      .program = f[2],
                                                      .unit = f.value(3),
                                                      .container = f.value(4)});
                    if (!processes->processes.contains(f[0].toInt()))
                        processes->setProcess(f[0].toInt(), f[2]);
                }
            } else if (step == QLatin1String("noopener")) {
                desktop.opens = false;
            } else if (step.startsWith(QLatin1String("refuse:"))) {
                processes->processes[arg.toInt()].outcome = SignalOutcome::NotPermitted;
            } else if (step.startsWith(QLatin1String("newcomer:"))) {
                processes->processes[arg.toInt()].identity.name = QStringLiteral("newcomer");
            } else if (step.startsWith(QLatin1String("opens:"))) {
                QCOMPARE(processes->opens, arg.toInt());
            } else if (step == QLatin1String("root")) {
                processes->uid = 0;
            } else if (step.startsWith(QLatin1String("name:"))) {
                const QModelIndex row = model()->index(arg.section(u'/', 0, 0).toInt());
                const QString name = arg.section(u'/', 1).replace(u'+', u' ');
                QVERIFY2(QTest::qWaitFor([&] { return row.data().toString() == name; }),
                         qPrintable(row.data().toString()));
            } else if (step.startsWith(QLatin1String("stillrunning:"))) {
                QVERIFY(QTest::qWaitFor([&] {
                    return model()
                        ->index(arg.toInt())
                        .data(PortListModel::StillRunningRole)
                        .toBool();
                }));
            } else if (step.startsWith(QLatin1String("focus:"))) {
                QCOMPARE(QApplication::focusWidget()->objectName(), arg);
            } else if (step == QLatin1String("taller")) {
                const int before = list()->height();
                view.resize(view.width(), view.height() + 100);
                QTRY_VERIFY(list()->height() >= before + 100);
            } else if (step.startsWith(QLatin1String("empty:"))) {
                const QString text = view.findChild<QLabel*>(QStringLiteral("emptyLabel"))->text();
                QVERIFY2(arg == u"0"       ? text == u"No listening ports"
                         : arg.toInt() > 0 ? text.startsWith(arg + QStringLiteral(" system port"))
                                           : text.contains(u'“' + arg + u'”'),
                         qPrintable(text));
            } else if (step.startsWith(QLatin1String("notice:"))) {
                const auto* notice = view.findChild<NoticeBox*>(QStringLiteral("panelNotice"));
                const auto* confirm =
                    view.findChild<QAbstractButton*>(QStringLiteral("panelNoticeConfirm"));
                // Some answers take a moment (a process run).
                QVERIFY2(QTest::qWaitFor([&] {
                             return QString(notice->message() + u'|' + confirm->text())
                                 .contains(QString(arg).replace(u'+', u' '));
                         }),
                         qPrintable(notice->message() + u'|' + confirm->text()));
            } else if (step.startsWith(QLatin1String("shown:"))) {
                QVERIFY(view.findChild<QWidget*>(arg)->isVisible());
            } else if (step.startsWith(QLatin1String("palette:"))) {
                // A desktop's scheme read by Qt: its placeholder colour left at the default.
                const bool dark = arg == u"dark";
                QPalette palette;
                palette.setColor(QPalette::Window,
                                 dark ? QColor(32, 35, 38) : QColor(239, 239, 239));
                palette.setColor(QPalette::Base, dark ? QColor(20, 22, 24) : Qt::white);
                for (const auto role : {QPalette::Text, QPalette::WindowText})
                    palette.setColor(role, dark ? QColor(252, 252, 252) : QColor(35, 38, 41));
                view.setPalette(palette);
                const QPalette& field =
                    view.findChild<QLineEdit*>(QStringLiteral("filterField"))->palette();
                QVERIFY(PanelStyle::contrast(field.color(QPalette::PlaceholderText),
                                             field.color(QPalette::Base)) >= 4.5);
                const QColor window = palette.color(QPalette::Window);
                for (const QColor& text : {PanelStyle::secondary(palette), PanelStyle::red(palette),
                                           PanelStyle::orange(palette)})
                    QVERIFY(PanelStyle::contrast(text, window) >= 4.5);
            } else if (step == QLatin1String("hide")) {
                view.hide();
            } else if (step == QLatin1String("leave")) {
                QEvent leave(QEvent::Leave);
                QCoreApplication::sendEvent(viewport(), &leave);
            } else if (step.contains(QLatin1String("click:"))) {
                QAbstractButton* clicked = button(qPrintable(arg));
                QVERIFY(clicked && clicked->isVisible() && clicked->isEnabled());
                QTest::mouseClick(clicked, Qt::LeftButton,
                                  step.startsWith(QLatin1String("Shift")) ? Qt::ShiftModifier
                                                                          : Qt::NoModifier);
            } else {
                const QKeyCombination key = QKeySequence::fromString(step)[0];
                QKeyEvent press(QEvent::KeyPress, key.key(), key.keyboardModifiers());
                QCoreApplication::sendEvent(QApplication::focusWidget(), &press);
                if (!press.isAccepted())
                    passedOn.append(QStringLiteral("passed on ") + step);
            }
        }
    }
    // What reached the desktop, the processes and the port source since the last publish,
    // and the keys the panel left to its window.
    QStringList effects() const
    {
        QStringList all = QUrl::toStringList(desktop.openedUrls);
        for (const auto& [pid, signal] : processes->sentSignals)
            all.append(QStringLiteral("signal %1 %2").arg(pid).arg(signal));
        all += QStringList(desktop.terminateCalls, QStringLiteral("terminate"));
        for (const QString& text : desktop.copied)
            all.append(QStringLiteral("copy ") + text);
        all += QStringList(source->queryCount() - queriesAtPublish, QStringLiteral("scan"));
        return all + passedOn + managerCalls;
    }

    // tests/free's stand-in service manager, as the system's, on a bus of its own.
    void startManager()
    {
        bus.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"),
                   QStringLiteral("--print-address=1")});
        QVERIFY(bus.waitForReadyRead(5000));
        const QString address = QString::fromUtf8(bus.readLine().trimmed());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
        manager.setProcessEnvironment(env);
        manager.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(SYSTEMD_STANDIN)});
        QTRY_VERIFY_WITH_TIMEOUT(manager.canReadLine(), 10000);
        QCOMPARE(manager.readLine(), QByteArray("ready\n"));
        QObject::connect(&manager, &QProcess::readyRead, &view, [this] {
            managerCalls += QString::fromUtf8(manager.readAll()).split(u'\n', Qt::SkipEmptyParts);
        });
        busUnits = std::make_unique<UnitStopper>(QStringLiteral("unix:path=/nonexistent"), address);
    }

    std::shared_ptr<FakePortSource> source = std::make_shared<FakePortSource>();
    std::shared_ptr<RecordingProcessControl> processes =
        std::make_shared<RecordingProcessControl>();
    RecordingDesktopServices desktop;
    PortScanner scanner;
    PortListView view;
    std::shared_ptr<FakeProcessTable> table = std::make_shared<FakeProcessTable>();
    UnitStopper units{QStringLiteral("unix:path=/nonexistent"),
                      QStringLiteral("unix:path=/nonexistent")};
    ContainerStopper containers{QStringLiteral("/nonexistent/docker.sock")};
    AdminFree admin{QStringLiteral(PKEXEC_STANDIN), QStringLiteral(PKEXEC_STANDIN)};
    int queriesAtPublish = 0;
    QStringList passedOn;
    QStringList managerCalls;
    QProcess bus, manager;
    std::unique_ptr<UnitStopper> busUnits;
    QList<RemoteSection> sections;
};

} // namespace

class TestPortListView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A window opening under the pointer would start with a hovered row.
    void init() { QCursor::setPos(QGuiApplication::primaryScreen()->geometry().bottomRight()); }

    // Keys, pointer and clicks on a hundred rows, with port 22 hidden above them.
    void steps_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("highlighted");
        QTest::addColumn<QString>("effects");
        QTest::addRow("Down stops at the last row") << "End Down" << 99 << "";
        QTest::addRow("Up stops at the first row") << "Down Up Up" << 0 << "";
        QTest::addRow("Return opens") << "Down Return" << 0 << "http://localhost:2000";
        QTest::addRow("keypad Enter too, a long name")
            << "Down Down Enter" << 1 << "http://localhost:2001";
        QTest::addRow("Delete asks the process to end") << "Down Del" << 0 << "signal 100 15";
        QTest::addRow("Shift+Delete from none forces") << "Up Shift+Del" << 99 << "signal 199 9";
        QTest::addRow("nothing highlighted; Escape is the window's")
            << "Return Del Down Esc" << 0 << "passed on Return, passed on Del, passed on Esc";
        QTest::addRow("a hidden panel forgets its highlight") << "Down hide" << -1 << "";
        QTest::addRow("System shows port 22")
            << "click:systemCheckBox point:0 click:openButton" << 0 << "http://localhost:22";
        // Still-pointer events change nothing, not even when the keys scroll other rows under
        // the pointer; a pointer that moves takes the highlight back, and the keys go on from
        // its row.
        QTest::addRow("pointer and keys take turns")
            << "point:0 Down still Return point:3 Up Return" << 2
            << "http://localhost:2001, http://localhost:2002";
        QTest::addRow("keys scroll under a still pointer") << "point:0 End still" << 99 << "";
        QTest::addRow("pointer leaves") << "point:1 leave" << -1 << "";
        // Onto the row's own buttons: still the same row.
        QTest::addRow("row buttons") << "point:0 click:openButton Shift+click:killButton" << 0
                                     << "http://localhost:2000, signal 100 9";
        // A pointer's highlight goes with its record (same port and pid); the keyboard's stays
        // at its place in the list when its record goes.
        QTest::addRow("pointer, record moves")
            << "point:1 publish:1500/5,2000/100,2001/101 Return" << 2 << "http://localhost:2001";
        QTest::addRow("pointer, new pid")
            << "point:1 publish:2000/100,2001/109 Return" << -1 << "passed on Return";
        QTest::addRow("keys, record moves")
            << "Down Down publish:1500/5,2000/100,2001/101 Return" << 2 << "http://localhost:2001";
        QTest::addRow("keys, record gone")
            << "Down Down publish:2000/100,2002/102 Return" << 1 << "http://localhost:2002";
        QTest::addRow("keys, last record gone")
            << "Down Down publish:2000/100 Return" << 0 << "http://localhost:2000";
        QTest::addRow("keys, list empties")
            << "Down Down publish: Return" << -1 << "passed on Return";
        // Tab follows the eye down the panel. While the list is gone and the line that says so
        // shows, the keys stay in the panel (left to Qt, they would go to Refresh).
        QTest::addRow("Tab order")
            << "focus:portList Tab focus:setting Tab focus:refreshButton" << -1 << "";
        QTest::addRow("a taller window shows more rows") << "taller" << -1 << "";
        QTest::addRow("an empty list counts the system ports it hides")
            << "publish:1023/9,1024/10 rows:1 publish:22/9,80/10 empty:2 publish:22/9 empty:1 "
               "publish: empty:0"
            << -1 << "";
        QTest::addRow("keys while the list is gone")
            << "publish: focus:portListView shown:emptyLabel publish:2000/100 focus:portList" << -1
            << "";
        // A kill that can't happen or didn't work says so, and nothing reaches another process.
        QTest::addRow("another user's socket: no kill")
            << "publish:2000/0/postgres Down Del" << 0 << "passed on Del";
        QTest::addRow("a second Delete waits for a move to its row")
            << "Down Del publish:2001/101,2002/102 Del Down Up Del" << 0
            << "signal 100 15, signal 101 15, passed on Del";
        QTest::addRow("still running after Delete: the next forces it")
            << "Down Del stillrunning:0 Del" << 0 << "signal 100 15, signal 100 9, scan";
        QTest::addRow("refused kill") << "refuse:100 Down Del shown:panelNotice" << 0 << "";
        QTest::addRow("as root, another user's process asks first")
            << "root Down Del shown:panelNotice click:panelNoticeConfirm opens:1" << 0
            << "signal 100 15";
        QTest::addRow("as root, the question names the user and the buttons what they do")
            << "root publish:2000/100/alice Down Del notice:user+alice.+End+it+anyway?|End+process"
            << 0 << "";
        // After a kill the port listens again: who started it, and what stops that.
        QTest::addRow("a supervisor: end it, then the new owner")
            << "stoppers lineage:100/50/node,50/1/nodemon,150/50/node Down Del stillrunning:0 "
               "publish:2000/150 "
               "notice:Port+2000+is+listening+again+—+restarted+by+nodemon+(pid+50)|End+nodemon+"
               "too focus:portList Tab focus:panelNoticeCancel click:panelNoticeConfirm "
               "focus:portList"
            << 0 << "signal 100 15, signal 50 15, signal 150 15";
        QTest::addRow("a unit, whose manager can't be reached")
            << "stoppers lineage:100/1/node/vite.service,150/1/node/vite.service Down Del "
               "publish:2000/150 notice:restarted+by+vite.service|Stop+vite.service "
               "click:panelNoticeConfirm notice:Couldn't+stop+vite.service:+there+is+no"
            << 0 << "signal 100 15";
        QTest::addRow("a container, named, whose engine can't be reached")
            << "stoppers lineage:100/1/node//3f2a9c81e0d4,150/1/node//3f2a9c81e0d4 Down Del "
               "publish:2000/150 notice:by+container+web|Stop+container+web "
               "click:panelNoticeConfirm notice:Couldn't+stop+container+web:+there"
            << 0 << "signal 100 15";
        QTest::addRow("nothing tells who") << "stoppers lineage:100/1/a,150/1/b Down Del "
                                              "publish:2000/150 notice:“”+(PID+150)+took+it"
                                           << 0 << "signal 100 15";
        // Another user's port, for a user who is not root.
        QTest::addRow("as administrator, from the row's menu")
            << "stoppers publish:2000/0/root menu:0 pick:EndasAdministrator… "
               "notice:Port+2000+belongs+to+the+user+root.+End+its+owner+as+administrator?+The+"
               "system+asks+for+a+password.|End+as+administrator… click:panelNoticeConfirm "
               "notice:As+administrator:+arg"
            << -1 << "scan";
        QTest::addRow("as administrator: the port's result line")
            << "stoppers publish:2004/0/root point:0 click:killButton Return "
               "notice:2004:+still+listening"
            << 0 << "scan";
        QTest::addRow("as administrator, dismissed: nothing ended")
            << "stoppers publish:2126/0/root point:0 click:killButton click:panelNoticeConfirm "
               "notice:Nothing+was+ended"
            << 0 << "";
        QTest::addRow("a port systemd holds for a socket unit: its units stopped, nothing ended")
            << "stoppers:manager publish:2000/0/root name:0/systemd,+for+web.socket point:0 "
               "click:killButton notice:Port+2000+is+held+by+systemd+for+web.socket,+which+starts+"
               "web.service.+Stop+them?|Stop+web.socket click:panelNoticeConfirm"
            << 0
            << "scan, StopUnit web.socket replace interactive, StopUnit web.service replace "
               "interactive";
        QTest::addRow("a refused kill offers the administrator")
            << "stoppers refuse:100 Down Del notice:it+belongs+to+another+user.+End+its+owner" << 0
            << "";
        QTest::addRow("a URL that won't open")
            << "noopener Down Return shown:panelNotice" << 0 << "http://localhost:2000";
        // Typing filters; the keys act on what is left.
        QTest::addRow("type, Down, Return")
            << "type:p5 rows:11 Down Return" << 0 << "http://localhost:2005";
        QTest::addRow("by pid; Escape clears, the second is the window's")
            << "type:142 rows:1 Esc rows:100 Esc" << -1 << "passed on Esc";
        QTest::addRow("words narrow together, any case") << "type:P7+2077 rows:1" << -1 << "";
        QTest::addRow("by program, service and container")
            << "type:whole+p.service+www rows:1" << -1 << "";
        QTest::addRow("Delete on the filtered row the keys picked")
            << "type:p7 Down Del" << 0 << "signal 107 15";
        QTest::addRow("the filter hides the keys' record: Delete waits")
            << "Down Down type:p9 Del" << -1 << "passed on Del";
        QTest::addRow("no match, Backspace")
            << "type:zz empty:zz focus:portListView Backspace Backspace focus:portList rows:100"
            << -1 << "";
        QTest::addRow("a filter counts the system ports it hides")
            << "type:ssh empty:1" << -1 << "";
        QTest::addRow("arrows and Return from the field")
            << "Shift+Tab Shift+Tab focus:filterField type:p3 Down focus:portList Return" << 0
            << "http://localhost:2003";
        QTest::addRow("opens unfiltered") << "type:p3 hide rows:100" << -1 << "";
        // The row's menu; its quits take the panel's kill path.
        QTest::addRow("menu copies")
            << "menu:0 pick:CopyCommandLine menu:1 pick:CopyURL menu:1 pick:CopyPort menu:1 "
               "pick:CopyPID Down menu:key pick:CopyPort"
            << 0 << "copy run 100, copy http://localhost:2001, copy 2001, copy 101, copy 2000";
        QTest::addRow("menu opens and quits")
            << "menu:0 pick:OpeninBrowser menu:0 pick:QuitProcess menu:0 pick:ForceQuitProcess"
            << -1 << "http://localhost:2000, signal 100 15, signal 100 9";
        QTest::addRow("menu as root asks first")
            << "root menu:0 pick:ForceQuitProcess shown:panelNotice click:panelNoticeConfirm" << -1
            << "signal 100 9";
        // No process: nothing of one to copy or end. A newcomer's command line: not copied, and
        // the kill reaches no one.
        QTest::addRow("menu entries")
            << "publish:2000/0/postgres,2001/101 newcomer:101 menu:0 entries menu:1 entries Down "
               "Down Del"
            << 1
            << "scan, entries: Open in Browser/Copy URL/Copy Port, entries: Open in Browser/Copy "
               "URL/Copy Port/Copy PID/(Copy Command Line)/Quit Process/Force Quit Process";
        // "udp" and "tcp" pick the protocol; a UDP row offers no URL.
        QTest::addRow("UDP: filtered, no URL")
            << "publish:2000/101,2000u/101 menu:1 entries type:udp rows:1" << -1
            << "entries: Copy Port/Copy PID/Copy Command Line/Quit Process/Force Quit Process";
        QTest::addRow("TCP filtered")
            << "publish:2000/7,2000u/7,3000u/7 type:TCP rows:1" << -1 << "";
        QTest::addRow("new records stand out for one refresh")
            << "publish:2000/100,3000/300 appeared:1 publish:2000/100,3000/301 appeared:1 "
               "rescan appeared: publish:2000/100,3000/301,4000/400 appeared:2 rescan appeared:"
            << -1 << "";
        QTest::addRow("the first list marks nothing") << "restart" << -1 << "scan";
        QTest::addRow("texts read in light and dark") << "palette:light palette:dark" << -1 << "";
        // Other machines follow, each under its header: its records offer a forward and no kill,
        // and open through their forward.
        QTest::addRow("machines after the local rows")
            << "publish:2000/100 remote:dev remote:down! rows:5 says:1=dev,+2+listening+ports "
               "says:4=down,+unreachable:+Connection+refused,+next+try+12:00:05 "
               "says:2=Port+3000,+node,+PID+700,+all+interfaces,+on+dev"
            << -1 << "";
        QTest::addRow("a remote row: forward, no kill")
            << "publish:2000/100 remote:dev point:2 click:forwardButton Del Return" << 2
            << "forward dev 3000, passed on Del, passed on Return";
        QTest::addRow("a forwarded row opens through it, and stops")
            << "publish:2000/100 remote:dev forwarded:dev/3000/4000 Down Down Down Return "
               "click:forwardButton says:2=Port+3000,+node,+PID+700,+all+interfaces,+→+localhost:4000,+on+dev"
            << 2 << "http://localhost:4000, stop dev 3000";
        QTest::addRow("an ended forward says why; the menu")
            << "publish: remote:dev ended:dev/3000 menu:1 entries "
               "says:1=Port+3000,+node,+PID+700,+all+interfaces,+forward+ended:+gone,+on+dev"
            << -1 << "entries: Forward to This Machine/(Open in Browser)/(Copy URL)/Copy Port/Copy PID";
        QTest::addRow("a header: no buttons, the keys pass; the filter keeps it")
            << "publish: remote:dev Down Return Del type:udp rows:2" << 0
            << "passed on Return, passed on Del";
        QTest::addRow("footer")
            << "click:tipButton click:contactButton click:quitButton click:refreshButton" << -1
            << "https://example.org/tip, mailto:maker@example.org, terminate, scan";
    }
    void steps()
    {
        QFETCH(QString, steps);
        QFETCH(int, highlighted);
        QFETCH(QString, effects);
        // Ports 2000, 2001, ... of pids 100, 101, ..., the first two named with markup and at
        // length, and port 22 hidden above them.
        const QString markup = QStringLiteral("<b>x</b><img src=x>&amp;");
        QList<ListeningPort> ports{ListeningPort(22, 9, QStringLiteral("sshd")),
                                   ListeningPort(2000, 100, markup),
                                   ListeningPort(2001, 101, QString(400, u'w'))};
        for (int i = 2; i < 100; ++i)
            ports.append(ListeningPort(2000 + i, 100 + i, QStringLiteral("p%1").arg(i)));
        // The whole program name shows for the cut one, and where the owner runs by its pid,
        // cut short before the exposure is.
        const QString longName(200, u'w');
        ports[3] =
            ListeningPort(2002, 102, QStringLiteral("p2"), {}, {QStringLiteral("::")}, 0,
                          {QStringLiteral("p2-whole"), QStringLiteral("p.service"), longName});
        Panel panel;
        QVERIFY(panel.publish(ports));
        const QModelIndex third = panel.model()->index(2);
        QCOMPARE(third.data().toString() + u'|' + third.data(PortListModel::PidTextRole).toString(),
                 QStringLiteral("p2-whole|PID 102 · p.service · container ") + longName);
        QCOMPARE(panel.list()->rowDelegate()->layoutRow(panel.rowRect(2), third).exposureText,
                 QStringLiteral(" · all interfaces"));
        QCOMPARE(QApplication::focusWidget(), panel.list());
        // Names from outside are drawn and spoken as they are, markup included.
        const QModelIndex first = panel.model()->index(0);
        PortRowDelegate* delegate = panel.list()->rowDelegate();
        QCOMPARE(delegate->layoutRow(panel.rowRect(0), first).nameText, markup);
        // All of them new since the panel's first, empty list.
        QCOMPARE(first.data(Qt::AccessibleTextRole).toString(),
                 QStringLiteral("Port 2000, ") + markup +
                     QStringLiteral(", PID 100, just started"));
        const QString toolTip = first.data(Qt::ToolTipRole).toString();
        QVERIFY(toolTip.contains(markup.toHtmlEscaped()) && toolTip.contains(u"Command: run 100"));

        panel.type(steps);
        QTRY_COMPARE(panel.effects().join(u", "), effects);
        // The highlight, in view, with the row's buttons over its right edge and the name cut
        // short clear of them.
        QCOMPARE(panel.model()->hoveredRow(), highlighted);
        QAbstractButton* open = panel.button("openButton");
        QAbstractButton* kill = panel.button("killButton");
        QCOMPARE(kill->isVisible(),
                 highlighted >= 0 &&
                     panel.model()->rowKind(highlighted) == PortListModel::RowKind::Local &&
                     (panel.model()->portAt(highlighted).hasProcess() ||
                      steps.startsWith(u"stoppers")));
        const auto kind = highlighted < 0 ? PortListModel::RowKind::Host
                                          : panel.model()->rowKind(highlighted);
        QCOMPARE(panel.button("forwardButton")->isVisible(), kind == PortListModel::RowKind::Remote);
        if (kind == PortListModel::RowKind::Host) {
            QVERIFY(!open->isVisible());
            return;
        }
        const QRect row = panel.rowRect(highlighted);
        const QAbstractButton* last = kill->isVisible() ? kill : open;
        const QRect buttons(open->mapTo(panel.viewport(), QPoint()),
                            last->mapTo(panel.viewport(), last->rect().bottomRight()));
        QVERIFY(panel.viewport()->rect().contains(row) && row.contains(buttons));
        QVERIFY(delegate->layoutRow(row, panel.model()->index(highlighted)).nameRect.right() <
                buttons.left());
        const QUrl url = panel.model()->urlAt(highlighted);
        QCOMPARE(open->toolTip(), url.isValid()
                                      ? QStringLiteral("Open localhost:%1").arg(url.port())
                                      : QStringLiteral("Forward it to this machine to open it"));
        // Assistive tools follow the keyboard's row.
        if (panel.model()->hoverSource() == PortListModel::HoverSource::Keyboard)
            QCOMPARE(panel.list()->currentIndex().row(), highlighted);
    }

    // Broken maker links are never handed to the desktop.
    void brokenMakerLinksAreDisabled()
    {
        Panel panel(QStringLiteral("example.org/tip"), QStringLiteral("https://exa mple.org/"));
        QVERIFY(!panel.button("tipButton")->isEnabled());
        QVERIFY(!panel.button("contactButton")->isEnabled());
    }
};

QTEST_MAIN(TestPortListView)
#include "tst_portlistview.moc"
