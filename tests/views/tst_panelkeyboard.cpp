#include "applicationinfo.h"
#include "fakeportsource.h"
#include "panelwindow.h"
#include "portlist.h"
#include "portlistmodel.h"
#include "portlistview.h"
#include "portscanner.h"
#include "recordingdesktopservices.h"
#include "recordingprocesscontrol.h"
#include "trayshell.h"

#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include <memory>

namespace {

// The real panel in the real popup (or window), over a scanner the test feeds.
struct OpenPanel
{
    explicit OpenPanel(bool trayAvailable = true)
        : info(makerLinks()), scanner(source, desktop, processes),
          view(new PortListView(scanner, desktop, info)), shell(view, desktop, trayAvailable)
    {}

    static ApplicationInfo makerLinks()
    {
        ApplicationInfo links;
        links.tipUrl = QStringLiteral("https://example.org/tip");
        links.contactUrl = QStringLiteral("mailto:maker@example.org?subject=Tidewatch");
        return links;
    }

    bool publish(const QList<ListeningPort>& ports)
    {
        source->setPorts(ports);
        for (const ListeningPort& port : ports)
            processes->setProcess(port.pid(), port.processName());
        scanner.scan();
        return QTest::qWaitFor([&] { return view->model()->visiblePorts() == ports; });
    }
    bool open()
    {
        if (shell.trayIcon())
            shell.togglePanel();
        else
            shell.show();
        return QTest::qWaitForWindowExposed(window());
    }

    // What Qt sends by itself when widgets change under a pointer that has not moved.
    void stillPointerEvents(const QPoint& viewportPos) const
    {
        QWidget* viewport = list()->viewport();
        const QPoint global = viewport->mapToGlobal(viewportPos);
        QMouseEvent move(QEvent::MouseMove, viewportPos, global, Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &move);
        QEnterEvent enter(viewportPos, viewportPos, global);
        QCoreApplication::sendEvent(viewport, &enter);
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(viewport, &leave);
    }

    PanelWindow* window() const { return shell.panelWindow(); }
    PortList* list() const { return view->list(); }
    PortListModel* model() const { return view->model(); }
    QWidget* focused() const { return QApplication::focusWidget(); }
    QToolButton* button(const QString& name) const { return view->findChild<QToolButton*>(name); }

    // Keys as a user types them: to whatever has the focus.
    void type(const QString& keys) const
    {
        for (const QString& key : keys.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const bool shift = key.startsWith(QLatin1String("Shift+"));
            const QString name = shift ? key.mid(6) : key;
            const Qt::Key code = name == QLatin1String("Up")         ? Qt::Key_Up
                                 : name == QLatin1String("Down")     ? Qt::Key_Down
                                 : name == QLatin1String("Home")     ? Qt::Key_Home
                                 : name == QLatin1String("End")      ? Qt::Key_End
                                 : name == QLatin1String("PageDown") ? Qt::Key_PageDown
                                 : name == QLatin1String("Return")   ? Qt::Key_Return
                                 : name == QLatin1String("Enter")    ? Qt::Key_Enter
                                 : name == QLatin1String("Delete")   ? Qt::Key_Delete
                                 : name == QLatin1String("Escape")   ? Qt::Key_Escape
                                 : name == QLatin1String("Tab")      ? Qt::Key_Tab
                                                                     : Qt::Key_unknown;
            QVERIFY2(code != Qt::Key_unknown, qPrintable(key));
            QTest::keyClick(focused(), code, shift ? Qt::ShiftModifier : Qt::NoModifier);
        }
    }
    QStringList effects() const
    {
        QStringList all;
        for (const QUrl& url : desktop.openedUrls)
            all.append(QStringLiteral("url ") + url.toString());
        for (const auto& [pid, signal] : processes->sentSignals)
            all.append(QStringLiteral("signal %1 %2").arg(pid).arg(signal));
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
};

const QList<ListeningPort> threePorts{
    ListeningPort(3000, 301, QStringLiteral("node")),
    ListeningPort(5432, 302, QStringLiteral("postgres")),
    ListeningPort(8080, 303, QStringLiteral("java")),
};

QList<ListeningPort> manyPorts(int count)
{
    QList<ListeningPort> ports;
    for (int i = 0; i < count; ++i)
        ports.append(ListeningPort(2000 + i, 100 + i, QStringLiteral("p%1").arg(i)));
    return ports;
}

} // namespace

class TestPanelKeyboard : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
        QFETCH(QString, focusedAfterOpening);

        OpenPanel panel(trayAvailable);
        QVERIFY(panel.publish(threePorts.mid(0, portCount)));
        QVERIFY(panel.open());
        if (!trayAvailable)
            QVERIFY(QTest::qWaitForWindowActive(panel.window()));
        if (!keysBeforeReopening.isEmpty()) {
            panel.type(keysBeforeReopening);
            QVERIFY(panel.focused() != panel.list());
            panel.type(QStringLiteral("Escape"));
            QVERIFY(!panel.window()->isVisible());
            QVERIFY(panel.open());
        }
        QTRY_VERIFY(panel.focused());
        QCOMPARE(panel.focused()->objectName(), focusedAfterOpening);
        QCOMPARE(panel.model()->hoveredRow(), -1);

        // The list lets Escape through to the popup; a window has no Escape to close.
        panel.type(QStringLiteral("Down Escape"));
        QCOMPARE(panel.window()->isVisible(), !trayAvailable);
        QCOMPARE(panel.desktop.terminateCalls, 0);
    }

    void focusOutlivesAnEmptyList()
    {
        OpenPanel panel;
        QVERIFY(panel.publish(threePorts));
        QVERIFY(panel.open());
        QCOMPARE(panel.focused(), panel.list());
        // Left to Qt, the hidden list would hand its focus on to Refresh.
        QVERIFY(panel.publish({}));
        QCOMPARE(panel.focused(), panel.view);
        QVERIFY(panel.publish(threePorts));
        QCOMPARE(panel.focused(), panel.list());
        panel.type(QStringLiteral("Down Escape"));
        QVERIFY(!panel.window()->isVisible());
    }

    void keys_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("highlighted");
        QTest::addColumn<QStringList>("effects");
        QTest::addRow("Down from none: first row") << QStringLiteral("Down") << 0 << QStringList();
        QTest::addRow("Up from none: last row") << QStringLiteral("Up") << 2 << QStringList();
        QTest::addRow("Down stops at the last row")
            << QStringLiteral("Down Down Down Down Down") << 2 << QStringList();
        QTest::addRow("Up stops at the first row")
            << QStringLiteral("Down Down Up Up Up") << 0 << QStringList();
        QTest::addRow("End then Home") << QStringLiteral("End Home") << 0 << QStringList();
        QTest::addRow("Return opens the highlighted port")
            << QStringLiteral("Down Down Return") << 1
            << QStringList{QStringLiteral("url http://localhost:5432")};
        QTest::addRow("keypad Enter opens it too")
            << QStringLiteral("End Enter") << 2
            << QStringList{QStringLiteral("url http://localhost:8080")};
        QTest::addRow("Delete asks the process to end")
            << QStringLiteral("Down Delete") << 0 << QStringList{QStringLiteral("signal 301 15")};
        QTest::addRow("Shift+Delete forces it") << QStringLiteral("Up Shift+Delete") << 2
                                                << QStringList{QStringLiteral("signal 303 9")};
        QTest::addRow("Return with nothing highlighted")
            << QStringLiteral("Return") << -1 << QStringList();
        QTest::addRow("Delete with nothing highlighted")
            << QStringLiteral("Delete") << -1 << QStringList();
    }
    void keys()
    {
        QFETCH(QString, keys);
        QFETCH(int, highlighted);
        QFETCH(QStringList, effects);

        OpenPanel panel;
        QVERIFY(panel.publish(threePorts));
        QVERIFY(panel.open());
        QCOMPARE(panel.focused(), panel.list());
        panel.type(keys);

        QCOMPARE(panel.model()->hoveredRow(), highlighted);
        QCOMPARE(panel.effects(), effects);
        // The keyboard's row is the hovered row: tinted, with its buttons, and current for
        // assistive tools.
        QToolButton* open = panel.button(QStringLiteral("openButton"));
        QCOMPARE(open->isVisible(), highlighted >= 0);
        if (highlighted >= 0) {
            QCOMPARE(panel.list()->currentIndex().row(), highlighted);
            const QString name =
                QStringLiteral("Open localhost:%1").arg(threePorts.at(highlighted).port());
            QCOMPARE(open->accessibleName(), name);
            QCOMPARE(open->toolTip(), name);
        }
        QVERIFY(panel.window()->isVisible());
    }

    void pointerAndKeysTakeTurns()
    {
        OpenPanel panel;
        QVERIFY(panel.publish(threePorts));
        QVERIFY(panel.open());
        QWidget* viewport = panel.list()->viewport();
        const auto centre = [&](int row) {
            return panel.list()->visualRect(panel.model()->index(row)).center();
        };

        QTest::mouseMove(viewport, centre(0) + QPoint(1, 1));
        QTest::mouseMove(viewport, centre(0));
        QTRY_COMPARE(panel.model()->hoveredRow(), 0);
        panel.type(QStringLiteral("Down"));
        QCOMPARE(panel.model()->hoveredRow(), 1);

        // Qt's own events for a pointer that stayed put change nothing...
        panel.stillPointerEvents(centre(0));
        QCOMPARE(panel.model()->hoveredRow(), 1);
        // ...a pointer that moves takes the highlight back...
        QTest::mouseMove(viewport, centre(2));
        QTRY_COMPARE(panel.model()->hoveredRow(), 2);
        // ...and the keys go on from the pointer's row.
        panel.type(QStringLiteral("Up Return"));
        QCOMPARE(panel.model()->hoveredRow(), 1);
        QCOMPARE(panel.effects(), QStringList{QStringLiteral("url http://localhost:5432")});
    }

    void keysScrollUnderAStillPointer()
    {
        OpenPanel panel;
        const QList<ListeningPort> ports = manyPorts(100);
        QVERIFY(panel.publish(ports));
        QVERIFY(panel.open());
        QWidget* viewport = panel.list()->viewport();
        const QPoint top = panel.list()->visualRect(panel.model()->index(0)).center();
        // The real pointer, so the list knows it is under it.
        QCursor::setPos(viewport->mapToGlobal(top));
        if (QCursor::pos() != viewport->mapToGlobal(top))
            QSKIP("this platform cannot move the cursor");
        QTRY_VERIFY(viewport->underMouse());
        QTRY_COMPARE(panel.model()->hoveredRow(), 0);

        // Scrolling to the keyboard's row moves other rows under the pointer.
        panel.type(QStringLiteral("End"));
        QCOMPARE(panel.model()->hoveredRow(), 99);
        QVERIFY(panel.list()->verticalScrollBar()->value() > 0);
        QVERIFY(viewport->rect().contains(panel.list()->visualRect(panel.model()->index(99))));
        panel.stillPointerEvents(top);
        QCOMPARE(panel.model()->hoveredRow(), 99);

        panel.type(QStringLiteral("Home PageDown"));
        const int page =
            viewport->height() / panel.list()->visualRect(panel.model()->index(0)).height();
        QCOMPARE(panel.model()->hoveredRow(), page);
        QVERIFY(viewport->rect().contains(panel.list()->visualRect(panel.model()->index(page))));
    }

    void tabFollowsThePanelDown()
    {
        OpenPanel panel;
        // Stands in for the settings block, which comes after the footer was built.
        auto* settings = new QWidget;
        auto* layout = new QVBoxLayout(settings);
        auto* first = new QCheckBox(QStringLiteral("first"), settings);
        first->setObjectName(QStringLiteral("firstSetting"));
        auto* second = new QCheckBox(QStringLiteral("second"), settings);
        second->setObjectName(QStringLiteral("secondSetting"));
        layout->addWidget(first);
        layout->addWidget(second);
        panel.view->setSettingsWidget(settings);
        QVERIFY(panel.publish(threePorts));
        QVERIFY(panel.open());

        QStringList order{panel.focused()->objectName()};
        for (int i = 0; i < 8; ++i) {
            panel.type(QStringLiteral("Tab"));
            order.append(panel.focused()->objectName());
        }
        const QStringList expected{
            QStringLiteral("portList"),      QStringLiteral("firstSetting"),
            QStringLiteral("secondSetting"), QStringLiteral("refreshButton"),
            QStringLiteral("tipButton"),     QStringLiteral("contactButton"),
            QStringLiteral("quitButton"),    QStringLiteral("systemCheckBox"),
            QStringLiteral("portList"),
        };
        QCOMPARE(order, expected);
        QCOMPARE(panel.model()->hoveredRow(), -1);
    }
};

QTEST_MAIN(TestPanelKeyboard)
#include "tst_panelkeyboard.moc"
