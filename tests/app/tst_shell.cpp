#include "autostartitem.h"
#include "fakeportsource.h"
#include "loginenvironment.h"
#include "panelwindow.h"
#include "popupplacement.h"
#include "portchangenotifier.h"
#include "portscanner.h"
#include "preferencesfile.h"
#include "recordingdesktopservices.h"
#include "sessionbus.h"
#include "settingsblock.h"
#include "singleinstance.h"
#include "trayhosts.h"
#include "trayshell.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QMenu>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

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

class TestShell : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void placePopup_data()
    {
        QTest::addColumn<QRect>("anchor");
        QTest::addColumn<int>("panelHeight"); // 320 wide
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QRect>("expected");
        // Each panel bar is 24 thick and outside the work area.
        QTest::addRow("top bar, right corner: below, pulled left onto the screen")
            << QRect(1250, 0, 24, 24) << 400 << QRect(0, 24, 1280, 776) << QRect(960, 24, 320, 400);
        QTest::addRow("bottom bar, left corner, screen left of the primary: above, pushed right")
            << QRect(-1918, 1032, 24, 24) << 400 << QRect(-1920, 0, 1920, 1032)
            << QRect(-1920, 632, 320, 400);
        QTest::addRow("left bar: to the right, level with the icon")
            << QRect(0, 300, 24, 24) << 400 << QRect(24, 0, 1256, 800) << QRect(24, 300, 320, 400);
        QTest::addRow("right bar: to the left")
            << QRect(1256, 10, 24, 24) << 400 << QRect(0, 0, 1256, 800) << QRect(936, 10, 320, 400);
        // No work area known (bar inside the available area), or the cursor stands in.
        QTest::addRow("fits neither below nor above: the larger side, clamped")
            << QRect(600, 350, 1, 1) << 500 << QRect(0, 0, 1280, 800) << QRect(440, 300, 320, 500);
        QTest::addRow("taller than the screen: cut to the screen")
            << QRect(1250, 0, 24, 24) << 900 << QRect(0, 24, 1280, 776) << QRect(960, 24, 320, 776);
    }
    void placePopup()
    {
        QFETCH(QRect, anchor);
        QFETCH(int, panelHeight);
        QFETCH(QRect, available);
        QTEST(::placePopup(anchor, QSize(320, panelHeight), available), "expected");
    }

    void screenIndexFor_data()
    {
        QTest::addColumn<QRect>("anchor");
        QTest::addColumn<QList<QRect>>("screens");
        QTest::addColumn<int>("expected");
        const QList<QRect> two{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 800)};
        QTest::addRow("straddling: where its centre is") << QRect(1900, 0, 24, 24) << two << 0;
        QTest::addRow("centre off screen: the overlap") << QRect(2500, 790, 24, 24) << two << 1;
        QTest::addRow("off every screen: the nearest") << QRect(2500, 900, 1, 1) << two << 1;
        QTest::addRow("no screens") << QRect(0, 0, 1, 1) << QList<QRect>{} << -1;
    }
    void screenIndexFor()
    {
        QFETCH(QRect, anchor);
        QFETCH(QList<QRect>, screens);
        QTEST(::screenIndexFor(anchor, screens), "expected");
    }

    // The single-instance guard against a lock file left in its folder. Copies of the real
    // program, one holding the lock while others start, are the end-to-end test's.
    void singleInstanceGuard_data()
    {
        QTest::addColumn<std::optional<QString>>("identifier");
        QTest::addColumn<QByteArray>("lock");
        QTest::addColumn<int>("lockAgeSeconds");
        // Named after this very executable, so the lock looks held by a live process.
        const QByteArray ours = QByteArray::number(QCoreApplication::applicationPid()) + '\n' +
                                QCoreApplication::applicationName().toUtf8() + "\n\n";
        const std::optional<QString> id = QStringLiteral("org.example.app");
        // Locks no live process holds are taken over: one left by an earlier process with our
        // pid, and an old one whose holder died before writing its pid.
        QTest::addRow("lock names our own pid") << id << ours << 0;
        QTest::addRow("lock old and empty") << id << QByteArray() << 120;
        // No identifier, no guard: a fresh empty lock, which would read as held, is not looked at.
        QTest::addRow("no identifier") << std::optional<QString>() << QByteArray() << 0;
    }
    void singleInstanceGuard()
    {
        QFETCH(std::optional<QString>, identifier);
        QFETCH(QByteArray, lock);
        QFETCH(int, lockAgeSeconds);
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("org.example.app.lock")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(lock) == lock.size() && file.flush());
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-lockAgeSeconds),
                                 QFileDevice::FileModificationTime));
        {
            const SingleInstanceGuard guard(identifier, dir.path());
            QVERIFY(!guard.isDuplicate());
        }
        // Taken over, the lock goes with the guard; without an identifier it is left alone.
        QCOMPARE(file.exists(), !identifier);
    }

    // Anything but a regular file at the lock's path is held by no running copy: it is
    // cleared before QLockFile looks (a FIFO blocked it), or the guard stands aside. So it
    // does when the lock's folder is not the user's own and private, as another user could
    // hold the lock there. Either way this copy starts.
    void lockPath_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("isGuarded"); // this copy holds the lock
        QTest::addRow("dangling link") << "dangling" << true;
        QTest::addRow("link to a file, which stays") << "link" << true;
        QTest::addRow("empty folder") << "folder" << true;
        QTest::addRow("FIFO") << "fifo" << true;
        QTest::addRow("folder with contents: kept, started anyway") << "full" << false;
        QTest::addRow("the lock's folder another user's") << "others" << false;
        QTest::addRow("the lock's folder open to all") << "open" << false;
        QTest::addRow("the lock's folder a link to a private one") << "linked" << false;
    }
    void lockPath()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        QString folder = dir.path();
        const QString path = dir.filePath(QStringLiteral("org.example.app.lock"));
        const QString target = dir.filePath(QStringLiteral("target"));
        QFile(target).open(QIODevice::WriteOnly);
        if (kind == u"dangling" || kind == u"link") {
            QVERIFY(QFile::link(kind == u"link" ? target : dir.filePath(QStringLiteral("gone")),
                                path));
        } else if (kind == u"folder" || kind == u"full") {
            QVERIFY(QDir().mkpath(kind == u"full" ? path + QStringLiteral("/inside") : path));
        } else if (kind == u"fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == u"others") {
            if (::geteuid() != 0)
                QSKIP("only root can give a folder to another user");
            QCOMPARE(::chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);
        } else if (kind == u"open") {
            QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0777), 0);
        } else {
            folder = dir.filePath(QStringLiteral("linked"));
            QVERIFY(QFile::link(dir.path(), folder));
        }
        {
            const SingleInstanceGuard guard(QStringLiteral("org.example.app"), folder);
            QVERIFY(!guard.isDuplicate());
            QTEST(QFileInfo(path).isFile() && !QFileInfo(path).isSymLink(), "isGuarded");
        }
        QVERIFY(QFile::exists(target));
    }

    // What is at the preferences' path or its lock's: what QSettings could not read or lock
    // without blocking, or a file larger than any the program writes, is cleared or moved
    // aside (kept, with a notice), and the preferences work from the defaults.
    void preferencesFile_data()
    {
        QTest::addColumn<QString>("at"); // "file" or "lock"
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("keptAside");
        QTest::addRow("FIFO") << "file" << "fifo" << 1;
        QTest::addRow("over 1 MiB") << "file" << "large" << 1;
        QTest::addRow("a link to a file, kept in place") << "file" << "link" << 0;
        QTest::addRow("folder at the lock") << "lock" << "folder" << 0;
        QTest::addRow("dangling link at the lock") << "lock" << "dangling" << 0;
        QTest::addRow("folder with contents at the lock") << "lock" << "full" << 1;
    }
    void preferencesFile()
    {
        QFETCH(QString, at);
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("p.conf"));
        const QString placed = at == u"lock" ? path + QStringLiteral(".lock") : path;
        const QByteArray name = QFile::encodeName(placed);
        QFile file(dir.filePath(QStringLiteral("file")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(kind == u"large" ? (1 << 20) + 1 : 0));
        if (kind == u"fifo")
            QCOMPARE(::mkfifo(name.constData(), 0600), 0);
        else if (kind == u"large")
            QVERIFY(file.rename(placed));
        else if (kind == u"link" || kind == u"dangling")
            QVERIFY(QFile::link(kind == u"link" ? file.fileName() : QStringLiteral("gone"), placed));
        else
            QVERIFY(QDir().mkpath(kind == u"full" ? placed + QStringLiteral("/inside") : placed));

        const PreferencesFile preferences = PreferencesFile::prepare(path);
        QSettings settings(preferences.path, QSettings::IniFormat);
        QVERIFY(settings.allKeys().isEmpty());
        settings.setValue(QStringLiteral("key"), 1);
        settings.sync();
        QCOMPARE(settings.status(), QSettings::NoError);
        QFETCH(int, keptAside);
        QCOMPARE(preferences.notices.size(), keptAside);
        const QStringList aside{QFileInfo(placed).fileName() + QStringLiteral(".moved-*")};
        QCOMPARE(QDir(dir.path()).entryList(aside, QDir::AllEntries | QDir::System).size(),
                 keptAside);
    }

    // Asked as a client asks: only a bus that takes the connection and then says nothing
    // is silent, and it is known to be within the bound.
    void silentSessionBus_data()
    {
        QTest::addColumn<QString>("address"); // %1: a socket that listens and never answers
        QTest::addColumn<bool>("isSilent");
        QTest::addRow("listens, never answers") << "unix:path=%1" << true;
        QTest::addRow("second entry, the first not there") << "unix:path=%1x;unix:path=%1" << true;
        QTest::addRow("nothing there") << "unix:path=%1x" << false;
        QTest::addRow("not a unix: address") << "tcp:host=127.0.0.1,port=1;unix:path=%1" << false;
        QTest::addRow("disabled") << "disabled:" << false;
    }
    void silentSessionBus()
    {
        QFETCH(QString, address);
        QTemporaryDir dir;
        QLocalServer bus; // its backlog takes connections; nothing ever answers
        QVERIFY(bus.listen(dir.filePath(QStringLiteral("bus"))));
        QElapsedTimer clock;
        clock.start();
        QTEST(isSilentSessionBus(address.arg(bus.fullServerName()).toUtf8(), 300ms), "isSilent");
        QVERIFY(clock.elapsed() < 2000);
    }

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
            << QStringLiteral("s=w sx=w x=w sx+=i");
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
        auto source = std::make_shared<FakePortSource>(QList<ListeningPort>{
            {8080, 10, QStringLiteral("node")}, {8081, 11, QStringLiteral("node")}});
        PortScanner scanner(source);
        FakeTrayHosts hosts({false, true, true});
        TrayShell shell(panel, scanner, desktop, hosts);
        shell.bindOpenAtLogin(*settings);
        shell.show();
        QTRY_COMPARE(shell.trayIcon()->toolTip(), QStringLiteral("Tidewatch — 2 listening ports"));
        QVERIFY(!menuAction(shell, QStringLiteral("Check for Updates…"))->isVisible());

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
        QVERIFY(shell.panelWindow()->isVisible());
        QCOMPARE(menuAction(shell, QStringLiteral("Hide Panel")), shell.menu()->actions().first());

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
        else
            QTest::mousePress(window, Qt::LeftButton, {}, QPoint(-5, -5));
        QVERIFY(!window->isVisible());
        shell.togglePanel();
        QCOMPARE(window->isVisible(), nextClickOpens);
        // A deliberate click later always opens it, and the panel has the keys again.
        QTRY_VERIFY(window->isVisible() || (shell.togglePanel(), window->isVisible()));
        QTRY_COMPARE(QApplication::focusWidget(), panel);
    }

    // What the desktop is told between two lists ("port/pid/name,..."), by port number.
    void portChangeMessages_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("messages"); // joined by " | "
        QTest::addRow("one starts, one stops")
            << "22/9/sshd,80/1/nginx"
            << "22/9/sshd,5173/7/vite"
            << "Port 5173 is now listening — vite | Port 80 stopped listening — nginx";
        QTest::addRow("a restart, a second process: nothing") << "3000/5/node"
                                                              << "3000/6/node,3000/7/node"
                                                              << "";
        QTest::addRow("another user's socket; a name with a line break")
            << ""
            << "5432/0/,6000/4/a\nb"
            << "Port 5432 is now listening | Port 6000 is now listening — a\uFFFDb";
        QTest::addRow("more than three: counted")
            << "1/1/a"
            << "2/2/b,3/3/c,4/4/d"
            << "3 ports are now listening; 1 port stopped listening";
    }
    void portChangeMessages()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        const auto parse = [](const QString& text) {
            QList<ListeningPort> ports;
            for (const QString& record : text.split(u',', Qt::SkipEmptyParts))
                ports.append(ListeningPort(record.section(u'/', 0, 0).toInt(),
                                           record.section(u'/', 1, 1).toInt(),
                                           record.section(u'/', 2)));
            return ports;
        };
        QTEST(
            PortChangeNotifier::messagesFor(parse(before), parse(after)).join(QLatin1String(" | ")),
            "messages");
    }

    // Off until ticked, and kept; never for the first scan, nor while off.
    void portChangeNotifier()
    {
        const QTemporaryDir dir;
        QSettings preferences(dir.filePath(QStringLiteral("s.ini")), QSettings::IniFormat);
        auto source =
            std::make_shared<FakePortSource>(QList{ListeningPort(80, 1, QStringLiteral("nginx"))});
        RecordingDesktopServices desktop;
        PortScanner scanner(source);
        PortChangeNotifier notifier(scanner, desktop, preferences);
        QSignalSpy scanned(&scanner, &PortScanner::lastScanChanged);
        QVERIFY(!notifier.isEnabled());
        notifier.setEnabled(true);
        QVERIFY(PortChangeNotifier(scanner, desktop, preferences).isEnabled());
        const auto scanOf = [&](const QList<ListeningPort>& ports) {
            source->setPorts(ports);
            scanner.scan();
            return QTest::qWaitFor(
                [&, count = scanned.count() + 1] { return scanned.count() == count; });
        };
        QTRY_COMPARE(scanned.count(), 1);
        QVERIFY(scanOf({ListeningPort(8080, 2, QStringLiteral("vite"))}));
        notifier.setEnabled(false);
        QVERIFY(scanOf({}));
        QCOMPARE(desktop.notifications,
                 QStringList({QStringLiteral("Port 8080 is now listening — vite"),
                              QStringLiteral("Port 80 stopped listening — nginx")}));
    }
};

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
