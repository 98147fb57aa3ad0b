#include "autostartitem.h"
#include "fakeportsource.h"
#include "loginenvironment.h"
#include "panelwindow.h"
#include "portscanner.h"
#include "recordingdesktopservices.h"
#include "settingsblock.h"
#include "trayhosts.h"
#include "trayshell.h"

#include <QApplication>
#include <QCheckBox>
#include <QMenu>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

// Trays that come and go when the test says so.
class FakeTrayHosts final : public TrayHosts
{
public:
    explicit FakeTrayHosts(State state = {}) : m_state{state} {}
    State state() const override { return m_state; }
    void followIcon() override { ++followed; }
    void set(State state)
    {
        m_state = state;
        Q_EMIT changed();
    }

    int followed = 0;

private:
    State m_state;
};

namespace {

QAction* menuAction(const TrayShell& shell, const QString& text)
{
    const QList<QAction*> actions = shell.menu()->actions();
    const auto found = std::find_if(actions.cbegin(), actions.cend(),
                                    [&](const QAction* action) { return action->text() == text; });
    return found == actions.cend() ? nullptr : *found;
}

} // namespace

class TestTrayShell : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Trays that come and go, as steps "hosts=expected": hosts are s (a StatusNotifierItem
    // host), x (an X11 tray), sx (both) or - (none), and + when one shows the icon; expected
    // is i (the icon is docked, no window) or w (the panel's window is shown). Without a
    // tray, closing the window quits.
    void followsTrays_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addRow("none, then a late X11 tray that goes and comes back")
            << QStringLiteral("-=w x+=i -=w x+=i");
        QTest::addRow("a late StatusNotifierItem host that goes") << QStringLiteral("-=w s+=i -=w");
        // Qt may have chosen the other kind of tray, or not be done yet: the window stays.
        QTest::addRow("trays that don't show the icon yet")
            << QStringLiteral("-=w s=w sx=w x=w sx+=i");
    }
    void followsTrays()
    {
        QFETCH(QString, steps);
        RecordingDesktopServices desktop;
        PortScanner scanner(std::make_shared<FakePortSource>());
        FakeTrayHosts hosts;
        TrayShell shell(new QCheckBox, scanner, desktop, hosts);
        bool iconMade = false;
        for (const QString& step : steps.split(u' ')) {
            const QString trays = step.section(u'=', 0, 0);
            const TrayHosts::State state{trays.contains(u's'), trays.contains(u'x'),
                                         trays.contains(u'+')};
            hosts.set(state);
            shell.show();
            const bool docked = step.endsWith(u'i');
            QVERIFY2(shell.panelWindow()->isVisible() != docked, qPrintable(step));
            QCOMPARE(shell.panelWindow()->mode() == PanelWindow::Mode::Window, !docked);
            // Once made, the icon stays, to dock again when its tray comes back.
            iconMade = iconMade || state.any();
            QCOMPARE(shell.trayIcon() && shell.trayIcon()->isVisible(), iconMade);
            QCOMPARE(hosts.followed, int(iconMade));
        }
        QVERIFY(shell.panelWindow()->close());
        QCOMPARE(desktop.terminateCalls, shell.panelWindow()->mode() == PanelWindow::Mode::Window);
    }

    // The icon's menu acts on the panel's objects, and "Open at Login" stays in step with
    // the settings block's checkbox both ways.
    void menu()
    {
        const LoginEnvironment environment;
        AutostartItem login(environment);
        auto* settings = new SettingsBlock(login);
        auto* panel = new QWidget;
        panel->setFixedSize(320, 200);
        settings->setParent(panel);
        RecordingDesktopServices desktop;
        auto source = std::make_shared<FakePortSource>(
            QList<ListeningPort>{{8080, 10, QStringLiteral("node")},
                                 {8081, 11, QStringLiteral("node")},
                                 {22, 9, QStringLiteral("sshd")}});
        PortScanner scanner(source);
        FakeTrayHosts hosts({false, true, true});
        TrayShell shell(panel, scanner, desktop, hosts);
        shell.bindOpenAtLogin(*settings);
        shell.show();
        // It counts what the panel shows.
        QTRY_COMPARE(shell.trayIcon()->toolTip(),
                     QStringLiteral("Tidewatch — 2 listening ports (1 system port hidden)"));
        shell.setSystemPortsShown(true);
        QCOMPARE(shell.trayIcon()->toolTip(), QStringLiteral("Tidewatch — 3 listening ports"));
        QVERIFY(!menuAction(shell, QStringLiteral("Check for Updates…"))->isVisible());
        // Connections are counted only while the panel shows.
        QVERIFY(!source->countsConnections);

        const int scans = source->queryCount();
        menuAction(shell, QStringLiteral("Refresh"))->trigger();
        QTRY_COMPARE(source->queryCount(), scans + 1);

        QAction* openAtLogin = menuAction(shell, QStringLiteral("Open at Login"));
        auto* box = settings->findChild<QCheckBox*>(QStringLiteral("openAtLoginCheckBox"));
        openAtLogin->trigger();
        QVERIFY(box->isChecked() && login.isEnabled());
        box->click();
        QVERIFY(!openAtLogin->isChecked() && !login.isEnabled());
        // A change that fails shows what is on disk, and the panel, which says why.
        QVERIFY(QDir(QFileInfo(login.entryPath()).path()).removeRecursively());
        QVERIFY(environment.place(QStringLiteral("file above"), login.entryPath()));
        openAtLogin->trigger();
        QVERIFY(!openAtLogin->isChecked() && !box->isChecked());
        QVERIFY(shell.panelWindow()->isVisible() && source->countsConnections);
        QCOMPARE(menuAction(shell, QStringLiteral("Hide Panel")), shell.menu()->actions().first());
        menuAction(shell, QStringLiteral("Hide Panel"))->trigger();
        QVERIFY(!source->countsConnections);

        menuAction(shell, QStringLiteral("Quit"))->trigger();
        QCOMPARE(desktop.terminateCalls, 1);
    }

    // Where a popup can't be placed (Wayland), the panel is an ordinary window that Escape
    // or its close button hides, and the program goes on.
    void closingTheFloatingWindow()
    {
        PanelWindow window(new QCheckBox, PanelWindow::Mode::Floating);
        QSignalSpy quits(&window, &PanelWindow::closeRequested);
        window.show();
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(!window.isVisible());
        window.show();
        QVERIFY(window.close() && quits.isEmpty());
    }

    void closingThePopup_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("nextClickOpens");
        QTest::addRow("click on the icon") << "click" << true;
        QTest::addRow("Escape") << "escape" << true;
        // The press lands outside the popup and closes it, then reaches the icon as a click.
        QTest::addRow("press on the icon, outside the popup") << "press" << false;
        // The popup takes the press: the menu the right click asked for opens all the same.
        QTest::addRow("right press on the icon") << "menu" << false;
    }

    void closingThePopup()
    {
        QFETCH(QString, how);
        QFETCH(bool, nextClickOpens);
        // The host does not say where the icon is: the popup opens at the cursor, here in the
        // corner where it fits neither below nor to the right of it.
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        QCursor::setPos(available.bottomRight());
        RecordingDesktopServices desktop;
        // A stand-in panel with one control the keys can move to.
        auto* panel = new QWidget;
        panel->setFixedSize(320, 200);
        new QCheckBox(panel);
        PortScanner scanner(std::make_shared<FakePortSource>());
        FakeTrayHosts hosts({false, true, true});
        TrayShell shell(panel, scanner, desktop, hosts);
        shell.show();
        PanelWindow* window = shell.panelWindow();
        shell.togglePanel();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QVERIFY(window->geometry().adjusted(-1, -1, 1, 1).contains(QCursor::pos()));
        // A panel that grows while open is placed again.
        panel->setFixedHeight(300);
        QTRY_VERIFY(available.contains(window->geometry()) && window->height() > 300);

        // The keys move away from the panel before it closes.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() != panel);
        if (how == u"click")
            shell.togglePanel();
        else if (how == u"escape")
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        else if (how == u"press")
            QTest::mousePress(window, Qt::LeftButton, {}, QPoint(-5, -5));
        else
            QTest::mousePress(window, Qt::RightButton, {}, window->mapFromGlobal(QCursor::pos()));
        QVERIFY(!window->isVisible());
        QCoreApplication::processEvents();
        QCOMPARE(shell.menu()->isVisible(), how == u"menu");
        shell.menu()->close();
        shell.togglePanel();
        QCOMPARE(window->isVisible(), nextClickOpens);
        // A deliberate click later always opens it, and the panel has the keys again.
        QTRY_VERIFY(window->isVisible() || (shell.togglePanel(), window->isVisible()));
        QTRY_COMPARE(QApplication::focusWidget(), panel);
    }
};

QTEST_MAIN(TestTrayShell)
#include "tst_trayshell.moc"
