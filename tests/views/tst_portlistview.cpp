#include "applicationinfo.h"
#include "fakeportsource.h"
#include "portlist.h"
#include "portlistmodel.h"
#include "portlistview.h"
#include "portrowdelegate.h"
#include "portscanner.h"
#include "recordingdesktopservices.h"
#include "recordingprocesscontrol.h"

#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <csignal>
#include <memory>

namespace {

const QString tipUrl = QStringLiteral("https://example.org/tip");
const QString contactUrl = QStringLiteral("mailto:maker@example.org?subject=Tidewatch");

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

ApplicationInfo makerLinks(const QString& tip, const QString& contact)
{
    ApplicationInfo info;
    info.tipUrl = tip;
    info.contactUrl = contact;
    return info;
}

// A shown panel over a scanner whose source and process calls the test controls.
struct Panel
{
    explicit Panel(ApplicationInfo appInfo = makerLinks(tipUrl, contactUrl))
        : info(std::move(appInfo)), scanner(source, desktop, processes),
          view(scanner, desktop, info)
    {
        view.show();
    }

    // Publishes ports through a real scan and waits until the panel has them.
    bool publish(const QList<ListeningPort>& ports)
    {
        source->setPorts(ports);
        for (const ListeningPort& port : ports)
            processes->setProcess(port.pid(), port.processName());
        QSignalSpy published(&scanner, &PortScanner::portsChanged);
        scanner.scan();
        return QTest::qWaitFor([&] { return scanner.ports() == ports; });
    }

    PortList* list() const { return view.list(); }
    PortListModel* model() const { return view.model(); }
    QWidget* viewport() const { return view.list()->viewport(); }
    template <typename T> T* child(const QString& name) const { return view.findChild<T*>(name); }
    QToolButton* openButton() const { return child<QToolButton>(QStringLiteral("openButton")); }
    QToolButton* killButton() const { return child<QToolButton>(QStringLiteral("killButton")); }

    QPoint rowCentre(int row) const { return list()->visualRect(model()->index(row)).center(); }
    void hoverRow(int row) const
    {
        // Qt drops a move to where the pointer already is, so arrive from one pixel off.
        QTest::mouseMove(viewport(), rowCentre(row) + QPoint(1, 1));
        QTest::mouseMove(viewport(), rowCentre(row));
    }
    void leaveList() const
    {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(viewport(), &leave);
    }

    std::shared_ptr<FakePortSource> source = std::make_shared<FakePortSource>();
    std::shared_ptr<RecordingProcessControl> processes =
        std::make_shared<RecordingProcessControl>();
    RecordingDesktopServices desktop;
    ApplicationInfo info;
    PortScanner scanner;
    PortListView view;
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
        const QList<qint64> mixed{22, 3000, 5432, 8080};
        QTest::addRow("system off hides below 1024, keeps order")
            << mixed << false << QList<qint64>{3000, 5432, 8080};
        QTest::addRow("system on shows all in order") << mixed << true << mixed;
        QTest::addRow("1023 hidden, 1024 shown")
            << QList<qint64>{1023, 1024} << false << QList<qint64>{1024};
        QTest::addRow("only system ports, off: empty state")
            << QList<qint64>{22, 80} << false << QList<qint64>{};
        QTest::addRow("only system ports, on: shown")
            << QList<qint64>{22, 80} << true << QList<qint64>{22, 80};
        QTest::addRow("empty list, off") << QList<qint64>{} << false << QList<qint64>{};
        QTest::addRow("empty list, on") << QList<qint64>{} << true << QList<qint64>{};
    }
    void filtering()
    {
        QFETCH(QList<qint64>, ports);
        QFETCH(bool, showSystem);
        QFETCH(QList<qint64>, visible);

        Panel panel;
        auto* checkBox = panel.child<QCheckBox>(QStringLiteral("systemCheckBox"));
        QVERIFY(!checkBox->isChecked());
        QVERIFY(panel.publish(portsOn(ports)));
        if (showSystem)
            QTest::mouseClick(checkBox, Qt::LeftButton);
        QCOMPARE(checkBox->isChecked(), showSystem);

        QCOMPARE(portNumbers(panel.model()->visiblePorts()), visible);
        auto* empty = panel.child<QLabel>(QStringLiteral("emptyLabel"));
        QCOMPARE(empty->isVisible(), visible.isEmpty());
        QCOMPARE(panel.list()->isVisible(), !visible.isEmpty());
        QCOMPARE(empty->text(), QStringLiteral("No listening ports"));
    }

    void hoverShowsButtonsAndTint()
    {
        Panel panel;
        QVERIFY(panel.publish(portsOn({3000, 5432, 8080})));
        QVERIFY(QTest::qWaitForWindowExposed(&panel.view));
        QCOMPARE(panel.model()->hoveredRow(), -1);
        QVERIFY(!panel.openButton()->isVisible());
        QVERIFY(!panel.killButton()->isVisible());
        const QImage before = panel.viewport()->grab().toImage();

        panel.hoverRow(1);
        QTRY_COMPARE(panel.model()->hoveredRow(), 1);
        QCOMPARE(panel.model()->hoveredId(), QStringLiteral("5432-5433"));
        QVERIFY(panel.openButton()->isVisible());
        QVERIFY(panel.killButton()->isVisible());
        const QRect rowRect = panel.list()->visualRect(panel.model()->index(1));
        const QRect buttons(
            panel.openButton()->mapTo(panel.viewport(), QPoint(0, 0)),
            panel.killButton()->mapTo(panel.viewport(), panel.killButton()->rect().bottomRight()));
        QVERIFY(rowRect.contains(buttons));
        QVERIFY(buttons.right() > rowRect.center().x()); // at the right edge
        // Only the hovered row is tinted; the padding at its left is a clean place to look.
        const QImage after = panel.viewport()->grab().toImage();
        const QPoint hoveredPixel(4, rowRect.center().y());
        const QPoint otherPixel(4, panel.rowCentre(0).y());
        QVERIFY(after.pixel(hoveredPixel) != before.pixel(hoveredPixel));
        QCOMPARE(after.pixel(otherPixel), before.pixel(otherPixel));
        const QRect rowZero = panel.list()->visualRect(panel.model()->index(0));
        QVERIFY(!panel.list()->rowDelegate()->layoutRow(rowZero, panel.model()->index(0)).hovered);
        QVERIFY(panel.list()->rowDelegate()->layoutRow(rowRect, panel.model()->index(1)).hovered);

        // Onto the row's own button: still the same row.
        QTest::mouseMove(panel.killButton(), panel.killButton()->rect().center());
        QTRY_VERIFY(panel.killButton()->underMouse());
        QCOMPARE(panel.model()->hoveredRow(), 1);
        QVERIFY(panel.openButton()->isVisible());

        panel.hoverRow(2);
        QTRY_COMPARE(panel.model()->hoveredRow(), 2);
        QVERIFY(panel.killButton()->isVisible());

        panel.leaveList();
        QCOMPARE(panel.model()->hoveredRow(), -1);
        QVERIFY(!panel.openButton()->isVisible());
        QVERIFY(!panel.killButton()->isVisible());
        QCOMPARE(panel.viewport()->grab().toImage().pixel(hoveredPixel),
                 before.pixel(hoveredPixel));
    }

    void hoverAcrossRefresh_data()
    {
        QTest::addColumn<bool>("byKeyboard");
        QTest::addColumn<QList<ListeningPort>>("before");
        QTest::addColumn<QList<ListeningPort>>("after");
        QTest::addColumn<int>("hoveredRowAfter");
        const ListeningPort a(3000, 10, QStringLiteral("node"));
        const ListeningPort b(5432, 20, QStringLiteral("postgres"));
        const ListeningPort c(8080, 30, QStringLiteral("java"));
        const ListeningPort early(2000, 5, QStringLiteral("ruby"));
        // The test highlights row 1 (b) first, with the pointer or the keys. A pointer's
        // highlight goes with its record; the keyboard's stays at its place in the list.
        for (const bool keys : {false, true}) {
            const char* by = keys ? "keyboard" : "pointer";
            QTest::addRow("%s: same id, same place", by)
                << keys << QList{a, b, c} << QList{a, b, c, ListeningPort(9000, 1, {})} << 1;
            QTest::addRow("%s: same id moves down", by)
                << keys << QList{a, b, c} << QList{early, a, b, c} << 2;
            QTest::addRow("%s: same id, new name", by)
                << keys << QList{a, b, c}
                << QList{a, ListeningPort(5432, 20, QStringLiteral("pg")), c} << 1;
            QTest::addRow("%s: id gone", by)
                << keys << QList{a, b, c} << QList{a, c} << (keys ? 1 : -1);
            QTest::addRow("%s: same port, new pid", by)
                << keys << QList{a, b, c}
                << QList{a, ListeningPort(5432, 21, QStringLiteral("postgres")), c}
                << (keys ? 1 : -1);
            QTest::addRow("%s: id gone from the end", by)
                << keys << QList{a, b, c} << QList{a} << (keys ? 0 : -1);
            QTest::addRow("%s: list empties", by)
                << keys << QList{a, b, c} << QList<ListeningPort>{} << -1;
        }
    }
    void hoverAcrossRefresh()
    {
        QFETCH(bool, byKeyboard);
        QFETCH(QList<ListeningPort>, before);
        QFETCH(QList<ListeningPort>, after);
        QFETCH(int, hoveredRowAfter);

        Panel panel;
        QVERIFY(panel.publish(before));
        QVERIFY(QTest::qWaitForWindowExposed(&panel.view));
        if (byKeyboard) {
            QTest::keyClick(panel.list(), Qt::Key_Home);
            QTest::keyClick(panel.list(), Qt::Key_Down);
        } else {
            panel.hoverRow(1);
        }
        QTRY_COMPARE(panel.model()->hoveredRow(), 1);

        QVERIFY(panel.publish(after));
        QCOMPARE(panel.model()->hoveredRow(), hoveredRowAfter);
        QCOMPARE(panel.killButton()->isVisible(), hoveredRowAfter >= 0);
        if (byKeyboard && hoveredRowAfter >= 0) {
            // Return acts on the row the highlight now shows.
            QCOMPARE(panel.list()->currentIndex().row(), hoveredRowAfter);
            QTest::keyClick(panel.list(), Qt::Key_Return);
            QCOMPARE(
                panel.desktop.openedUrls,
                QList<QUrl>{QUrl(
                    QStringLiteral("http://localhost:%1").arg(after.at(hoveredRowAfter).port()))});
        }
        if (hoveredRowAfter >= 0) {
            QCOMPARE(panel.model()->hoveredId(), after.at(hoveredRowAfter).id());
            const QRect rowRect = panel.list()->visualRect(panel.model()->index(hoveredRowAfter));
            QVERIFY(rowRect.contains(panel.killButton()->mapTo(panel.viewport(), QPoint(1, 1))));
        }
    }

    void namesAndTooltips_data()
    {
        QTest::addColumn<QString>("widget");
        QTest::addColumn<qint64>("hoveredPort");
        QTest::addColumn<QString>("toolTip");
        QTest::addColumn<QString>("name"); // what a screen reader says
        QTest::addRow("system") << QStringLiteral("systemCheckBox") << qint64(3000)
                                << QStringLiteral("Show ports below 1024")
                                << QStringLiteral("System");
        // Icon-only buttons are named by their tooltips.
        QTest::addRow("tip") << QStringLiteral("tipButton") << qint64(3000)
                             << QStringLiteral("Tip the maker") << QStringLiteral("Tip the maker");
        QTest::addRow("contact") << QStringLiteral("contactButton") << qint64(3000)
                                 << QStringLiteral("Contact the maker")
                                 << QStringLiteral("Contact the maker");
        QTest::addRow("kill") << QStringLiteral("killButton") << qint64(3000)
                              << QStringLiteral("Kill process") << QStringLiteral("Kill process");
        QTest::addRow("open, no grouping")
            << QStringLiteral("openButton") << qint64(3000) << QStringLiteral("Open localhost:3000")
            << QStringLiteral("Open localhost:3000");
        QTest::addRow("open, five digits")
            << QStringLiteral("openButton") << qint64(65535)
            << QStringLiteral("Open localhost:65535") << QStringLiteral("Open localhost:65535");
        QTest::addRow("refresh") << QStringLiteral("refreshButton") << qint64(3000) << QString()
                                 << QStringLiteral("Refresh");
        QTest::addRow("quit") << QStringLiteral("quitButton") << qint64(3000) << QString()
                              << QStringLiteral("Quit");
        QTest::addRow("list") << QStringLiteral("portList") << qint64(3000) << QString()
                              << QStringLiteral("Listening ports");
    }
    void namesAndTooltips()
    {
        QFETCH(QString, widget);
        QFETCH(qint64, hoveredPort);
        QFETCH(QString, toolTip);
        QFETCH(QString, name);

        Panel panel;
        QVERIFY(panel.publish({ListeningPort(hoveredPort, 42, QStringLiteral("node"))}));
        QVERIFY(QTest::qWaitForWindowExposed(&panel.view));
        panel.hoverRow(0);
        QTRY_COMPARE(panel.model()->hoveredRow(), 0);
        QWidget* found = panel.child<QWidget>(widget);
        QVERIFY(found);
        QCOMPARE(found->toolTip(), toolTip);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(found);
        QVERIFY(accessible);
        QCOMPARE(accessible->text(QAccessible::Name), name);
    }

    void rowTexts_data()
    {
        QTest::addColumn<ListeningPort>("port");
        QTest::addColumn<QString>("portText");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("pidText");
        QTest::addRow("plain") << ListeningPort(8080, 4321, QStringLiteral("node"))
                               << QStringLiteral("8080") << QStringLiteral("node")
                               << QStringLiteral("PID 4321");
        QTest::addRow("pid 0, empty name") << ListeningPort(65535, 0, {}) << QStringLiteral("65535")
                                           << QString() << QStringLiteral("PID 0");
        QTest::addRow("bold markup")
            << ListeningPort(3000, 7, QStringLiteral("<b>x</b>")) << QStringLiteral("3000")
            << QStringLiteral("<b>x</b>") << QStringLiteral("PID 7");
        QTest::addRow("image markup")
            << ListeningPort(3000, 7, QStringLiteral("<img src=x>")) << QStringLiteral("3000")
            << QStringLiteral("<img src=x>") << QStringLiteral("PID 7");
        QTest::addRow("entity") << ListeningPort(3000, 7, QStringLiteral("a&amp;b"))
                                << QStringLiteral("3000") << QStringLiteral("a&amp;b")
                                << QStringLiteral("PID 7");
        QTest::addRow("newline replaced")
            << ListeningPort(3000, 7, QStringLiteral("a\nb")) << QStringLiteral("3000")
            << QStringLiteral("a\uFFFDb") << QStringLiteral("PID 7");
    }
    void rowTexts()
    {
        QFETCH(ListeningPort, port);
        QFETCH(QString, portText);
        QFETCH(QString, name);
        QFETCH(QString, pidText);

        Panel panel;
        QCOMPARE(panel.child<QCheckBox>(QStringLiteral("systemCheckBox"))->isChecked(), false);
        QVERIFY(panel.publish({port}));
        const QModelIndex index = panel.model()->index(0);
        QCOMPARE(index.data(Qt::DisplayRole).toString(), name);
        // What the delegate hands to QPainter::drawText, which never interprets markup.
        const auto row =
            panel.list()->rowDelegate()->layoutRow(panel.list()->visualRect(index), index);
        QCOMPARE(row.portText, portText);
        QCOMPARE(row.nameText, name);
        QCOMPARE(row.pidText, pidText);
        // A screen reader gets the whole row as one item of the list.
        const QString spoken = name.isEmpty()
                                   ? QStringLiteral("Port %1, %2").arg(portText, pidText)
                                   : QStringLiteral("Port %1, %2, %3").arg(portText, name, pidText);
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(panel.list());
        QVERIFY(list);
        QStringList items;
        for (int i = 0; i < list->childCount(); ++i)
            items.append(list->child(i)->text(QAccessible::Name));
        QVERIFY2(items.contains(spoken), qPrintable(items.join(QLatin1Char('|'))));
        QCOMPARE(row.portRect.width(), PortRowDelegate::portColumnWidth);
        QCOMPARE(row.portRect.left(), PortRowDelegate::horizontalPadding);
        QCOMPARE(row.nameRect.left(), PortRowDelegate::horizontalPadding +
                                          PortRowDelegate::portColumnWidth +
                                          PortRowDelegate::spacing);
        // The tooltip is rich text only as an envelope: the name's own markup is escaped.
        const QString toolTip = index.data(Qt::ToolTipRole).toString();
        QVERIFY(Qt::mightBeRichText(toolTip));
        if (name.contains(QLatin1Char('<'))) {
            QVERIFY(!toolTip.contains(name));
            QVERIFY(toolTip.contains(name.toHtmlEscaped()));
        }
    }

    void longNameKeepsWidth()
    {
        Panel panel;
        const QString longName = QString(400, QLatin1Char('w'));
        QVERIFY(panel.publish(
            {ListeningPort(3000, 7, longName), ListeningPort(3001, 8, QStringLiteral("x"))}));
        QVERIFY(QTest::qWaitForWindowExposed(&panel.view));
        QCOMPARE(panel.view.width(), 320);
        QCOMPARE(panel.view.maximumWidth(), 320);

        const QModelIndex index = panel.model()->index(0);
        const QRect rowRect = panel.list()->visualRect(index);
        QCOMPARE(rowRect.width(), panel.viewport()->width());
        auto row = panel.list()->rowDelegate()->layoutRow(rowRect, index);
        QVERIFY(row.nameText.endsWith(QChar(0x2026)));
        QVERIFY(row.nameRect.right() <= rowRect.right() - PortRowDelegate::horizontalPadding);
        QCOMPARE(row.nameRect.height(), row.pidRect.height() > 0 ? row.nameRect.height() : 0);

        // Hovered, the name makes room for the buttons.
        panel.hoverRow(0);
        QTRY_COMPARE(panel.model()->hoveredRow(), 0);
        row = panel.list()->rowDelegate()->layoutRow(rowRect, index);
        QVERIFY(row.nameRect.right() <
                panel.openButton()->mapTo(panel.viewport(), QPoint(0, 0)).x());
        QCOMPARE(panel.view.width(), 320);
    }

    void listHeight_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("scrolls");
        QTest::addRow("three rows") << 3 << false;
        QTest::addRow("hundred rows") << 100 << true;
        QTest::addRow("ten thousand rows") << 10000 << true;
    }
    void listHeight()
    {
        QFETCH(int, rows);
        QFETCH(bool, scrolls);

        Panel panel;
        QList<ListeningPort> ports;
        for (int i = 0; i < rows; ++i)
            ports.append(ListeningPort(2000 + i, 100 + i, QStringLiteral("p")));
        QVERIFY(panel.publish(ports));
        QVERIFY(QTest::qWaitForWindowExposed(&panel.view));
        const int rowHeight = panel.list()->rowDelegate()->rowHeight();
        QTRY_COMPARE(panel.list()->height(), qMin(rows * rowHeight, PortList::maximumListHeight));
        QScrollBar* bar = panel.list()->verticalScrollBar();
        QCOMPARE(bar->maximum() > 0, scrolls);

        // The footer stays in view below the list; the last row can be scrolled to.
        auto* quit = panel.child<QToolButton>(QStringLiteral("quitButton"));
        QVERIFY(quit->isVisible());
        QVERIFY(quit->geometry().top() >= panel.list()->geometry().bottom());
        QVERIFY(quit->geometry().bottom() <= panel.view.height());
        bar->setValue(bar->maximum());
        const QRect last = panel.list()->visualRect(panel.model()->index(rows - 1));
        QVERIFY(panel.viewport()->rect().contains(last));
    }

    void actions_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QString>("effect");
        QTest::addRow("open") << QStringLiteral("openButton") << Qt::KeyboardModifiers()
                              << QStringLiteral("url http://localhost:3000");
        QTest::addRow("kill") << QStringLiteral("killButton") << Qt::KeyboardModifiers()
                              << QStringLiteral("signal 501 15");
        QTest::addRow("shift-kill")
            << QStringLiteral("killButton") << Qt::KeyboardModifiers(Qt::ShiftModifier)
            << QStringLiteral("signal 501 9");
        QTest::addRow("tip") << QStringLiteral("tipButton") << Qt::KeyboardModifiers()
                             << QStringLiteral("url ") + tipUrl;
        QTest::addRow("contact") << QStringLiteral("contactButton") << Qt::KeyboardModifiers()
                                 << QStringLiteral("url ") + contactUrl;
        QTest::addRow("quit") << QStringLiteral("quitButton") << Qt::KeyboardModifiers()
                              << QStringLiteral("terminate");
    }
    void actions()
    {
        QFETCH(QString, button);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(QString, effect);

        Panel panel;
        QVERIFY(panel.publish({ListeningPort(3000, 501, QStringLiteral("node"))}));
        QVERIFY(QTest::qWaitForWindowExposed(&panel.view));
        panel.hoverRow(0);
        QTRY_COMPARE(panel.model()->hoveredRow(), 0);
        auto* widget = panel.child<QToolButton>(button);
        QVERIFY(widget && widget->isVisible() && widget->isEnabled());
        QTest::mouseClick(widget, Qt::LeftButton, modifiers);

        QStringList effects;
        for (const QUrl& url : panel.desktop.openedUrls)
            effects.append(QStringLiteral("url ") + url.toString());
        for (const auto& [pid, signal] : panel.processes->sentSignals)
            effects.append(QStringLiteral("signal %1 %2").arg(pid).arg(signal));
        for (int i = 0; i < panel.desktop.terminateCalls; ++i)
            effects.append(QStringLiteral("terminate"));
        QCOMPARE(effects, QStringList{effect});
    }

    void refreshScans()
    {
        Panel panel;
        QVERIFY(panel.publish(portsOn({3000})));
        const int queries = panel.source->queryCount();
        panel.source->setPorts(portsOn({3000, 4000}));
        QTest::mouseClick(panel.child<QToolButton>(QStringLiteral("refreshButton")),
                          Qt::LeftButton);
        // Well before the 5-second timer would scan on its own.
        QTRY_COMPARE_WITH_TIMEOUT(portNumbers(panel.model()->visiblePorts()),
                                  (QList<qint64>{3000, 4000}), 2000);
        QVERIFY(panel.source->queryCount() > queries);
    }

    void invalidMakerLinksAreDisabled_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("enabled");
        QTest::addRow("web page") << tipUrl << true;
        QTest::addRow("mailto") << contactUrl << true;
        QTest::addRow("empty") << QString() << false;
        QTest::addRow("no scheme") << QStringLiteral("example.org/tip") << false;
        QTest::addRow("space in host") << QStringLiteral("https://exa mple.org/") << false;
    }
    void invalidMakerLinksAreDisabled()
    {
        QFETCH(QString, url);
        QFETCH(bool, enabled);
        Panel panel(makerLinks(url, url));
        QCOMPARE(panel.child<QToolButton>(QStringLiteral("tipButton"))->isEnabled(), enabled);
        QCOMPARE(panel.child<QToolButton>(QStringLiteral("contactButton"))->isEnabled(), enabled);
    }

    void settingsWidgetTakesItsPlace()
    {
        Panel panel;
        QVERIFY(panel.publish(portsOn({3000})));
        QVERIFY(QTest::qWaitForWindowExposed(&panel.view));
        auto* quit = panel.child<QToolButton>(QStringLiteral("quitButton"));
        const int heightWithout = panel.view.sizeHint().height();

        auto* settings = new QLabel(QStringLiteral("settings"));
        settings->setFixedHeight(40);
        panel.view.setSettingsWidget(settings);
        QTRY_VERIFY(settings->isVisible());
        QCOMPARE(settings->parentWidget(), &panel.view);
        QVERIFY(settings->geometry().top() > panel.list()->geometry().bottom());
        QVERIFY(settings->geometry().bottom() < quit->geometry().top());
        QVERIFY(panel.view.sizeHint().height() >= heightWithout + 40);

        QPointer<QLabel> gone(settings);
        panel.view.setSettingsWidget(nullptr);
        QVERIFY(gone.isNull());
        QCOMPARE(panel.view.sizeHint().height(), heightWithout);
    }
};

QTEST_MAIN(TestPortListView)
#include "tst_portlistview.moc"
