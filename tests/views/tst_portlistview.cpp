#include "applicationinfo.h"
#include "fakeportsource.h"
#include "panelwindow.h"
#include "portlist.h"
#include "portlistmodel.h"
#include "portlistview.h"
#include "portrowdelegate.h"
#include "portscanner.h"
#include "recordingdesktopservices.h"
#include "recordingprocesscontrol.h"
#include "trayshell.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include <memory>

namespace {

const QString tipUrl = QStringLiteral("https://example.org/tip");
const QString contactUrl = QStringLiteral("mailto:maker@example.org?subject=Tidewatch");

ApplicationInfo makerLinks(const QString& tip = tipUrl, const QString& contact = contactUrl)
{
    ApplicationInfo info;
    info.tipUrl = tip;
    info.contactUrl = contact;
    return info;
}

QList<ListeningPort> portsOn(const QList<qint64>& numbers)
{
    QList<ListeningPort> ports;
    for (const qint64 port : numbers)
        ports.append(ListeningPort(port, qint32(port + 1), QStringLiteral("proc%1").arg(port)));
    return ports;
}

QList<qint64> portNumbers(const QList<ListeningPort>& ports)
{
    QList<qint64> numbers;
    for (const ListeningPort& port : ports)
        numbers.append(port.port());
    return numbers;
}

const QList<ListeningPort> threePorts{
    ListeningPort(3000, 301, QStringLiteral("node")),
    ListeningPort(5432, 302, QStringLiteral("postgres")),
    ListeningPort(8080, 303, QStringLiteral("java")),
};

// The real panel in the real popup (or window), over a scanner whose source and process
// calls the test controls.
struct Panel
{
    explicit Panel(bool trayAvailable = true, ApplicationInfo links = makerLinks())
        : info(std::move(links)), scanner(source, processes),
          view(new PortListView(scanner, desktop, info)), shell(view, desktop, trayAvailable)
    {}

    // Publishes ports through a real scan and waits until the scanner has them.
    bool publish(const QList<ListeningPort>& ports)
    {
        source->setPorts(ports);
        for (const ListeningPort& port : ports)
            processes->setProcess(port.pid(), port.processName());
        scanner.scan();
        const bool published = QTest::qWaitFor([&] { return scanner.ports() == ports; });
        queriesAtPublish = source->queryCount();
        return published;
    }
    bool open()
    {
        if (shell.trayIcon())
            shell.togglePanel();
        else
            shell.show();
        return QTest::qWaitForWindowExposed(shell.panelWindow());
    }

    PortList* list() const { return view->list(); }
    PortListModel* model() const { return view->model(); }
    QWidget* viewport() const { return view->list()->viewport(); }
    QWidget* focused() const { return QApplication::focusWidget(); }
    template <typename T = QToolButton> T* child(const char* name) const
    {
        return view->findChild<T*>(QLatin1String(name));
    }
    QRect rowRect(int row) const { return list()->visualRect(model()->index(row)); }
    PortRowDelegate::RowLayout layoutRow(int row) const
    {
        return list()->rowDelegate()->layoutRow(rowRect(row), model()->index(row));
    }

    void hoverRow(int row) const
    {
        // Qt drops a move to where the pointer already is, so arrive from one pixel off.
        QTest::mouseMove(viewport(), rowRect(row).center() + QPoint(1, 1));
        QTest::mouseMove(viewport(), rowRect(row).center());
    }
    void stillPointerEvents(const QPoint& at) const
    {
        const QPoint global = viewport()->mapToGlobal(at);
        QMouseEvent move(QEvent::MouseMove, at, global, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport(), &move);
        QEnterEvent enter(at, at, global);
        QCoreApplication::sendEvent(viewport(), &enter);
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(viewport(), &leave);
    }
    // Keys as a user types them, to whatever has the focus, with the pointer's moves between
    // them: "Down Shift+Del Return point:2 still:0". still:N is what Qt sends by itself at
    // row N when widgets change under a pointer that has not moved.
    void type(const QString& keys) const
    {
        for (const QString& key : keys.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const int row = key.section(QLatin1Char(':'), 1).toInt();
            if (key.startsWith(QLatin1String("point:"))) {
                hoverRow(row);
                QVERIFY(QTest::qWaitFor([&] { return model()->hoveredRow() == row; }));
            } else if (key.startsWith(QLatin1String("still:"))) {
                stillPointerEvents(rowRect(row).center());
            } else {
                const QKeySequence sequence = QKeySequence::fromString(key);
                QVERIFY2(sequence.count() == 1, qPrintable(key));
                QTest::keyClick(focused(), sequence[0].key(), sequence[0].keyboardModifiers());
            }
        }
    }
    // What reached the desktop, the processes and the port source since the last publish.
    QStringList effects() const
    {
        QStringList all;
        for (const QUrl& url : desktop.openedUrls)
            all.append(QStringLiteral("url ") + url.toString());
        for (const auto& [pid, signal] : processes->sentSignals)
            all.append(QStringLiteral("signal %1 %2").arg(pid).arg(signal));
        for (int i = 0; i < desktop.terminateCalls; ++i)
            all.append(QStringLiteral("terminate"));
        if (source->queryCount() > queriesAtPublish)
            all.append(QStringLiteral("scan"));
        return all;
    }

    std::shared_ptr<FakePortSource> source = std::make_shared<FakePortSource>();
    std::shared_ptr<RecordingProcessControl> processes =
        std::make_shared<RecordingProcessControl>();
    RecordingDesktopServices desktop;
    ApplicationInfo info;
    PortScanner scanner;
    PortListView* view; // owned by the shell's window
    TrayShell shell;
    int queriesAtPublish = 0;
};

} // namespace

class TestPortListView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void filtering_data()
    {
        QTest::addColumn<QList<qint64>>("ports");
        QTest::addColumn<bool>("showSystem");
        QTest::addColumn<QList<qint64>>("visible");
        QTest::addColumn<QString>("emptyText");
        const QList<qint64> mixed{22, 1023, 1024, 5432, 8080};
        QTest::addRow("system off hides below 1024, keeps order")
            << mixed << false << QList<qint64>{1024, 5432, 8080} << QString();
        QTest::addRow("system on shows all in order") << mixed << true << mixed << QString();
        QTest::addRow("only system ports, off: says so")
            << QList<qint64>{22, 80} << false << QList<qint64>{}
            << QStringLiteral("2 system ports are hidden. Tick \u201cSystem\u201d to show them.");
        QTest::addRow("nothing, on: empty state")
            << QList<qint64>{} << true << QList<qint64>{} << QStringLiteral("No listening ports");
    }
    void filtering()
    {
        QFETCH(QList<qint64>, ports);
        QFETCH(bool, showSystem);
        QFETCH(QList<qint64>, visible);
        Panel panel;
        auto* checkBox = panel.child<QCheckBox>("systemCheckBox");
        QVERIFY(!checkBox->isChecked());
        QVERIFY(panel.publish(portsOn(ports)));
        QVERIFY(panel.open());
        if (showSystem)
            QTest::mouseClick(checkBox, Qt::LeftButton);

        QCOMPARE(portNumbers(panel.model()->visiblePorts()), visible);
        auto* empty = panel.child<QLabel>("emptyLabel");
        QCOMPARE(empty->isVisible(), visible.isEmpty());
        QCOMPARE(panel.list()->isVisible(), !visible.isEmpty());
        if (visible.isEmpty())
            QTEST(empty->text(), "emptyText");
    }

    void hoverShowsButtonsAndTint()
    {
        Panel panel;
        QVERIFY(panel.publish(threePorts));
        QVERIFY(panel.open());
        QToolButton* open = panel.child("openButton");
        QToolButton* kill = panel.child("killButton");
        QVERIFY(!open->isVisible() && !kill->isVisible());
        const QImage before = panel.viewport()->grab().toImage();

        panel.hoverRow(1);
        QTRY_COMPARE(panel.model()->hoveredRow(), 1);
        QCOMPARE(panel.model()->hoveredId(), QStringLiteral("5432-302"));
        QVERIFY(open->isVisible() && kill->isVisible());
        const QRect buttons(open->mapTo(panel.viewport(), QPoint(0, 0)),
                            kill->mapTo(panel.viewport(), kill->rect().bottomRight()));
        QVERIFY(panel.rowRect(1).contains(buttons));
        QVERIFY(buttons.right() > panel.rowRect(1).center().x()); // at the right edge
        // Only the hovered row is tinted; the padding at its left is a clean place to look.
        const QImage after = panel.viewport()->grab().toImage();
        const QPoint hoveredPixel(4, panel.rowRect(1).center().y());
        const QPoint otherPixel(4, panel.rowRect(0).center().y());
        QVERIFY(after.pixel(hoveredPixel) != before.pixel(hoveredPixel));
        QCOMPARE(after.pixel(otherPixel), before.pixel(otherPixel));

        // Onto the row's own button: still the same row.
        QTest::mouseMove(kill, kill->rect().center());
        QTRY_VERIFY(kill->underMouse());
        QCOMPARE(panel.model()->hoveredRow(), 1);
        QVERIFY(open->isVisible());

        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(panel.viewport(), &leave);
        QCOMPARE(panel.model()->hoveredRow(), -1);
        QVERIFY(!open->isVisible() && !kill->isVisible());
        QCOMPARE(panel.viewport()->grab().toImage().pixel(hoveredPixel),
                 before.pixel(hoveredPixel));
    }

    void hoverAcrossRefresh_data()
    {
        QTest::addColumn<bool>("byKeyboard");
        QTest::addColumn<QList<ListeningPort>>("after");
        QTest::addColumn<int>("hoveredRowAfter");
        const ListeningPort a = threePorts[0];
        const ListeningPort c = threePorts[2];
        const ListeningPort early(2000, 5, QStringLiteral("ruby"));
        // Row 1 (postgres) is highlighted first. A pointer's highlight goes with its record;
        // the keyboard's stays at its place in the list when its record goes.
        QTest::addRow("pointer: same id moves down")
            << false << QList{early, a, threePorts[1], c} << 2;
        QTest::addRow("pointer: same id, new name")
            << false << QList{a, ListeningPort(5432, 302, QStringLiteral("pg")), c} << 1;
        QTest::addRow("pointer: same port, new pid")
            << false << QList{a, ListeningPort(5432, 309, QStringLiteral("postgres")), c} << -1;
        QTest::addRow("keyboard: same id moves down")
            << true << QList{early, a, threePorts[1], c} << 2;
        QTest::addRow("keyboard: id gone") << true << QList{a, c} << 1;
        QTest::addRow("keyboard: id gone from the end") << true << QList{a} << 0;
        QTest::addRow("keyboard: list empties") << true << QList<ListeningPort>{} << -1;
    }
    void hoverAcrossRefresh()
    {
        QFETCH(bool, byKeyboard);
        QFETCH(QList<ListeningPort>, after);
        QFETCH(int, hoveredRowAfter);
        Panel panel;
        QVERIFY(panel.publish(threePorts));
        QVERIFY(panel.open());
        panel.type(byKeyboard ? QStringLiteral("Down Down") : QStringLiteral("point:1"));
        QCOMPARE(panel.model()->hoveredRow(), 1);

        QVERIFY(panel.publish(after));
        QCOMPARE(panel.model()->hoveredRow(), hoveredRowAfter);
        QCOMPARE(panel.child("killButton")->isVisible(), hoveredRowAfter >= 0);
        if (hoveredRowAfter < 0)
            return;
        QCOMPARE(panel.model()->hoveredId(), after.at(hoveredRowAfter).id());
        QVERIFY(panel.rowRect(hoveredRowAfter)
                    .contains(panel.child("killButton")->mapTo(panel.viewport(), QPoint(1, 1))));
        if (byKeyboard) {
            // Return acts on the row the highlight now shows.
            panel.type(QStringLiteral("Return"));
            QCOMPARE(panel.effects(), QStringList{QStringLiteral("url http://localhost:%1")
                                                      .arg(after.at(hoveredRowAfter).port())});
        }
    }

    // Tooltips, what a screen reader says (icon-only buttons are named by their tooltips),
    // and what a click does, with row 0 (port 3000, pid 501) hovered.
    void controls_data()
    {
        QTest::addColumn<QString>("widget");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QString>("toolTip");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("effect");
        const auto row = [](const char* widget, const QString& toolTip, const QString& name,
                            const QString& effect, Qt::KeyboardModifiers modifiers = {}) {
            QTest::addRow("%s%s", modifiers ? "shift-" : "", widget)
                << QString::fromUtf8(widget) << modifiers << toolTip << name << effect;
        };
        const QString open = QStringLiteral("Open localhost:3000");
        const QString kill = QStringLiteral("Kill process (Shift: force it)");
        const QString tip = QStringLiteral("Tip the maker");
        const QString contact = QStringLiteral("Contact the maker");
        row("systemCheckBox", QStringLiteral("Show ports below 1024"), QStringLiteral("System"),
            QString());
        row("openButton", open, open, QStringLiteral("url http://localhost:3000"));
        row("killButton", kill, kill, QStringLiteral("signal 501 15"));
        row("killButton", kill, kill, QStringLiteral("signal 501 9"), Qt::ShiftModifier);
        row("tipButton", tip, tip, QStringLiteral("url ") + tipUrl);
        row("contactButton", contact, contact, QStringLiteral("url ") + contactUrl);
        // Well before the 5-second timer would scan on its own.
        row("refreshButton", QString(), QStringLiteral("Refresh"), QStringLiteral("scan"));
        row("quitButton", QString(), QStringLiteral("Quit"), QStringLiteral("terminate"));
    }
    void controls()
    {
        QFETCH(QString, widget);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(QString, effect);
        Panel panel;
        QVERIFY(panel.publish({ListeningPort(3000, 501, QStringLiteral("node"))}));
        QVERIFY(panel.open());
        panel.hoverRow(0);
        QTRY_COMPARE(panel.model()->hoveredRow(), 0);
        auto* found = panel.view->findChild<QAbstractButton*>(widget);
        QVERIFY(found && found->isVisible() && found->isEnabled());
        QTEST(found->toolTip(), "toolTip");
        QTEST(QAccessible::queryAccessibleInterface(found)->text(QAccessible::Name), "name");

        QTest::mouseClick(found, Qt::LeftButton, modifiers);
        QTRY_COMPARE(panel.effects(), effect.isEmpty() ? QStringList() : QStringList{effect});
    }

    void rowTexts_data()
    {
        QTest::addColumn<ListeningPort>("port");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("spoken");
        QTest::addRow("markup and an entity")
            << ListeningPort(3000, 7, QStringLiteral("<b>x</b><img src=x>&amp;"))
            << QStringLiteral("<b>x</b><img src=x>&amp;")
            << QStringLiteral("Port 3000, <b>x</b><img src=x>&amp;, PID 7");
        QTest::addRow("newline replaced")
            << ListeningPort(3000, 7, QStringLiteral("a\nb")) << QStringLiteral("a\uFFFDb")
            << QStringLiteral("Port 3000, a\uFFFDb, PID 7");
        QTest::addRow("pid 0, empty name")
            << ListeningPort(65535, 0, {}) << QString() << QStringLiteral("Port 65535, PID 0");
    }
    void rowTexts()
    {
        QFETCH(ListeningPort, port);
        QFETCH(QString, name);
        QFETCH(QString, spoken);
        Panel panel;
        QVERIFY(panel.publish({port}));
        QVERIFY(panel.open());
        // What the delegate hands to QPainter::drawText, which never interprets markup.
        const auto row = panel.layoutRow(0);
        QCOMPARE(row.portText, QString::number(port.port()));
        QCOMPARE(row.nameText, name);
        QCOMPARE(row.pidText, QStringLiteral("PID %1").arg(port.pid()));
        QCOMPARE(row.portRect.width(), 56);
        QCOMPARE(row.nameRect.left(), row.portRect.right() + 1 + PortRowDelegate::spacing);
        // A screen reader gets the whole row as one item of the list.
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(panel.list());
        QCOMPARE(list->text(QAccessible::Name), QStringLiteral("Listening ports"));
        QStringList items;
        for (int i = 0; i < list->childCount(); ++i)
            items.append(list->child(i)->text(QAccessible::Name));
        QVERIFY2(items.contains(spoken), qPrintable(items.join(QLatin1Char('|'))));
        // The tooltip is rich text only as an envelope: the name's own markup is escaped.
        const QString toolTip = panel.model()->index(0).data(Qt::ToolTipRole).toString();
        QVERIFY(Qt::mightBeRichText(toolTip));
        QVERIFY(!toolTip.contains(QLatin1String("<b>x")));
        QVERIFY(!name.contains(QLatin1Char('<')) || toolTip.contains(name.toHtmlEscaped()));
    }

    void longNameKeepsWidth()
    {
        Panel panel;
        QVERIFY(panel.publish({ListeningPort(3000, 7, QString(400, QLatin1Char('w')))}));
        QVERIFY(panel.open());
        QCOMPARE(panel.view->width(), 320);
        QCOMPARE(panel.rowRect(0).width(), panel.viewport()->width());
        auto row = panel.layoutRow(0);
        QVERIFY(row.nameText.endsWith(QChar(0x2026)));
        QVERIFY(row.nameRect.right() <=
                panel.rowRect(0).right() - PortRowDelegate::horizontalPadding);
        // Hovered, the name makes room for the buttons.
        panel.hoverRow(0);
        QTRY_COMPARE(panel.model()->hoveredRow(), 0);
        row = panel.layoutRow(0);
        QVERIFY(row.nameRect.right() <
                panel.child("openButton")->mapTo(panel.viewport(), QPoint(0, 0)).x());
        QCOMPARE(panel.view->width(), 320);
    }

    void listHeight_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addRow("three rows") << 3;
        QTest::addRow("hundred rows: scrolls") << 100;
    }
    void listHeight()
    {
        QFETCH(int, rows);
        Panel panel;
        QList<ListeningPort> ports;
        for (int i = 0; i < rows; ++i)
            ports.append(ListeningPort(2000 + i, 100 + i, QStringLiteral("p")));
        QVERIFY(panel.publish(ports));
        QVERIFY(panel.open());
        const int rowHeight = panel.list()->rowDelegate()->rowHeight();
        QTRY_COMPARE(panel.list()->height(), qMin(rows * rowHeight, PortList::maximumListHeight));
        QScrollBar* bar = panel.list()->verticalScrollBar();
        QCOMPARE(bar->maximum() > 0, rows * rowHeight > PortList::maximumListHeight);
        // The footer stays in view below the list; the last row can be scrolled to.
        auto* quit = panel.child("quitButton");
        QVERIFY(quit->isVisible());
        QVERIFY(quit->geometry().top() >= panel.list()->geometry().bottom());
        QVERIFY(quit->geometry().bottom() <= panel.view->height());
        bar->setValue(bar->maximum());
        QVERIFY(panel.viewport()->rect().contains(panel.rowRect(rows - 1)));
    }

    void brokenMakerLinksAreDisabled_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addRow("empty") << QString();
        QTest::addRow("no scheme") << QStringLiteral("example.org/tip");
        QTest::addRow("space in host") << QStringLiteral("https://exa mple.org/");
    }
    void brokenMakerLinksAreDisabled()
    {
        QFETCH(QString, url);
        Panel panel(true, makerLinks(url, url));
        QVERIFY(!panel.child("tipButton")->isEnabled());
        QVERIFY(!panel.child("contactButton")->isEnabled());
    }

    void openingTakesTheKeys_data()
    {
        QTest::addColumn<bool>("trayAvailable");
        QTest::addColumn<int>("portCount");
        QTest::addColumn<QString>("keysBeforeReopening");
        QTest::addColumn<QString>("focusedAfterOpening");
        QTest::addRow("popup with ports") << true << 3 << QString() << QStringLiteral("portList");
        QTest::addRow("popup, no ports: the panel")
            << true << 0 << QString() << QStringLiteral("portListView");
        QTest::addRow("popup reopened after tabbing away")
            << true << 3 << QStringLiteral("Tab Tab") << QStringLiteral("portList");
        QTest::addRow("window without a tray")
            << false << 3 << QString() << QStringLiteral("portList");
    }
    void openingTakesTheKeys()
    {
        QFETCH(bool, trayAvailable);
        QFETCH(int, portCount);
        QFETCH(QString, keysBeforeReopening);
        Panel panel(trayAvailable);
        QVERIFY(panel.publish(threePorts.mid(0, portCount)));
        QVERIFY(panel.open());
        if (!trayAvailable)
            QVERIFY(QTest::qWaitForWindowActive(panel.shell.panelWindow()));
        if (!keysBeforeReopening.isEmpty()) {
            panel.type(keysBeforeReopening);
            QVERIFY(panel.focused() != panel.list());
            panel.type(QStringLiteral("Esc"));
            QVERIFY(!panel.shell.panelWindow()->isVisible());
            QVERIFY(panel.open());
        }
        QTRY_VERIFY(panel.focused());
        QTEST(panel.focused()->objectName(), "focusedAfterOpening");
        QCOMPARE(panel.model()->hoveredRow(), -1);
        if (portCount > 0) {
            // Left to Qt, the list hidden while empty would hand its focus on to Refresh.
            QVERIFY(panel.publish({}));
            QCOMPARE(panel.focused(), panel.view);
            QVERIFY(panel.publish(threePorts));
            QCOMPARE(panel.focused(), panel.list());
        }

        // The list lets Escape through to the popup; a window has no Escape to close.
        panel.type(QStringLiteral("Down Esc"));
        QCOMPARE(panel.shell.panelWindow()->isVisible(), !trayAvailable);
        QCOMPARE(panel.desktop.terminateCalls, 0);
    }

    void keys_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("highlighted");
        QTest::addColumn<QStringList>("effects");
        QTest::addRow("Down stops at the last row")
            << QStringLiteral("Down Down Down Down") << 2 << QStringList();
        QTest::addRow("Up stops at the first row")
            << QStringLiteral("Down Down Up Up Up") << 0 << QStringList();
        QTest::addRow("Return opens the highlighted port")
            << QStringLiteral("Down Down Return") << 1
            << QStringList{QStringLiteral("url http://localhost:5432")};
        QTest::addRow("keypad Enter opens it too")
            << QStringLiteral("End Enter") << 2
            << QStringList{QStringLiteral("url http://localhost:8080")};
        QTest::addRow("Delete asks the process to end")
            << QStringLiteral("Down Del") << 0 << QStringList{QStringLiteral("signal 301 15")};
        QTest::addRow("Shift+Delete from none forces the last")
            << QStringLiteral("Up Shift+Del") << 2 << QStringList{QStringLiteral("signal 303 9")};
        QTest::addRow("nothing highlighted") << QStringLiteral("Return Del") << -1 << QStringList();
        // Still-pointer events change nothing; a pointer that moves takes the highlight back,
        // and the keys go on from its row.
        QTest::addRow("pointer and keys take turns")
            << QStringLiteral("point:0 Down still:0 point:2 Up Return") << 1
            << QStringList{QStringLiteral("url http://localhost:5432")};
    }
    void keys()
    {
        QFETCH(QString, keys);
        QFETCH(int, highlighted);
        Panel panel;
        QVERIFY(panel.publish(threePorts));
        QVERIFY(panel.open());
        QCOMPARE(panel.focused(), panel.list());
        panel.type(keys);

        // The keyboard's row is the hovered row, with its buttons, and current for
        // assistive tools.
        QCOMPARE(panel.model()->hoveredRow(), highlighted);
        QTEST(panel.effects(), "effects");
        QCOMPARE(panel.child("openButton")->isVisible(), highlighted >= 0);
        if (highlighted >= 0)
            QCOMPARE(panel.list()->currentIndex().row(), highlighted);
        QVERIFY(panel.shell.panelWindow()->isVisible());
    }

    void keysScrollUnderAStillPointer()
    {
        Panel panel;
        QList<ListeningPort> ports;
        for (int i = 0; i < 100; ++i)
            ports.append(ListeningPort(2000 + i, 100 + i, QStringLiteral("p%1").arg(i)));
        QVERIFY(panel.publish(ports));
        QVERIFY(panel.open());
        const QPoint top = panel.rowRect(0).center();
        // The real pointer, so the list knows it is under it.
        QCursor::setPos(panel.viewport()->mapToGlobal(top));
        if (QCursor::pos() != panel.viewport()->mapToGlobal(top))
            QSKIP("this platform cannot move the cursor");
        QTRY_COMPARE(panel.model()->hoveredRow(), 0);

        // Scrolling to the keyboard's row moves other rows under the pointer.
        panel.type(QStringLiteral("End"));
        QCOMPARE(panel.model()->hoveredRow(), 99);
        QVERIFY(panel.viewport()->rect().contains(panel.rowRect(99)));
        panel.stillPointerEvents(top);
        QCOMPARE(panel.model()->hoveredRow(), 99);

        panel.type(QStringLiteral("Home PgDown"));
        const int page = panel.viewport()->height() / panel.rowRect(0).height();
        QCOMPARE(panel.model()->hoveredRow(), page);
        QVERIFY(panel.viewport()->rect().contains(panel.rowRect(page)));
    }

    // The settings block comes after the footer was built: it sits between the list and the
    // footer, Tab reaches it in that order, and it goes again without a trace.
    void settingsWidgetTakesItsPlace()
    {
        Panel panel;
        QVERIFY(panel.publish(threePorts));
        const int heightWithout = panel.view->sizeHint().height();
        auto* settings = new QWidget;
        auto* layout = new QVBoxLayout(settings);
        for (const char* name : {"firstSetting", "secondSetting"}) {
            auto* box = new QCheckBox(QLatin1String(name), settings);
            box->setObjectName(QLatin1String(name));
            layout->addWidget(box);
        }
        settings->setFixedHeight(80);
        panel.view->setSettingsWidget(settings);
        QVERIFY(panel.open());
        QCOMPARE(settings->parentWidget(), panel.view);
        QVERIFY(settings->geometry().top() > panel.list()->geometry().bottom());
        QVERIFY(settings->geometry().bottom() < panel.child("quitButton")->geometry().top());
        QVERIFY(panel.view->sizeHint().height() >= heightWithout + 80);

        QStringList order{panel.focused()->objectName()};
        for (int i = 0; i < 8; ++i) {
            panel.type(QStringLiteral("Tab"));
            order.append(panel.focused()->objectName());
        }
        QCOMPARE(order,
                 (QStringList{QStringLiteral("portList"), QStringLiteral("firstSetting"),
                              QStringLiteral("secondSetting"), QStringLiteral("refreshButton"),
                              QStringLiteral("tipButton"), QStringLiteral("contactButton"),
                              QStringLiteral("quitButton"), QStringLiteral("systemCheckBox"),
                              QStringLiteral("portList")}));
        QCOMPARE(panel.model()->hoveredRow(), -1);

        QPointer<QWidget> gone(settings);
        panel.view->setSettingsWidget(nullptr);
        QVERIFY(gone.isNull());
        QCOMPARE(panel.view->sizeHint().height(), heightWithout);
    }
};

QTEST_MAIN(TestPortListView)
#include "tst_portlistview.moc"
