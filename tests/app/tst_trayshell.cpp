#include "panelwindow.h"
#include "recordingdesktopservices.h"
#include "trayshell.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

namespace {

// Stands in for the port list: 320 wide, 200 high.
QWidget* fakePanel()
{
    auto* panel = new QWidget;
    panel->setFixedSize(320, 200);
    return panel;
}

// The offscreen platform does not tell where tray icons are: the cursor stands in.
bool moveCursor(const QPoint& to)
{
    QCursor::setPos(to);
    return QCursor::pos() == to;
}

} // namespace

class TestTrayShell : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void noTrayShowsAClosableWindow()
    {
        RecordingDesktopServices desktop;
        TrayShell shell(fakePanel(), desktop, false);
        QVERIFY(!shell.trayIcon());
        shell.show();
        PanelWindow* window = shell.panelWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->windowTitle(), QStringLiteral("Tidewatch"));
        QCOMPARE(window->windowType(), Qt::Window);
        window->close();
        QCOMPARE(desktop.terminateCalls, 1);
    }

    void closingThePopup_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("nextClickOpens");
        QTest::addRow("click on the icon") << QStringLiteral("click") << true;
        QTest::addRow("Escape") << QStringLiteral("escape") << true;
        // The press lands outside the popup and closes it, then reaches the icon as a click.
        QTest::addRow("press on the icon, outside the popup") << QStringLiteral("press") << false;
    }
    void closingThePopup()
    {
        QFETCH(QString, how);
        QFETCH(bool, nextClickOpens);
        RecordingDesktopServices desktop;
        TrayShell shell(fakePanel(), desktop, true);
        QCOMPARE(shell.trayIcon()->toolTip(), QStringLiteral("Tidewatch"));
        PanelWindow* window = shell.panelWindow();
        QCOMPARE(window->windowType(), Qt::Popup);
        shell.togglePanel();
        QVERIFY(QTest::qWaitForWindowExposed(window));

        if (how == QLatin1String("click"))
            shell.togglePanel();
        else if (how == QLatin1String("escape"))
            QTest::keyClick(window, Qt::Key_Escape);
        else
            QTest::mousePress(window, Qt::LeftButton, {}, QPoint(-5, -5));
        QVERIFY(!window->isVisible());

        shell.togglePanel();
        QCOMPARE(window->isVisible(), nextClickOpens);
        // A deliberate click later always opens it.
        QTRY_VERIFY_WITH_TIMEOUT(window->isVisible() || (shell.togglePanel(), window->isVisible()),
                                 5000);
        QCOMPARE(desktop.terminateCalls, 0);
    }

    // In the corner where the popup fits neither below nor to the right of the icon.
    void popupStaysOnScreenAtTheCursor()
    {
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        const QPoint cursor = available.bottomRight();
        if (!moveCursor(cursor))
            QSKIP("this platform cannot move the cursor");

        RecordingDesktopServices desktop;
        QWidget* panel = fakePanel();
        TrayShell shell(panel, desktop, true);
        shell.togglePanel();
        PanelWindow* window = shell.panelWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const int border = 2 * PanelWindow::borderWidth;
        QCOMPARE(window->size(), QSize(320 + border, 200 + border));
        QVERIFY2(available.contains(window->geometry()), "popup leaves the screen");
        QVERIFY(window->geometry().adjusted(-1, -1, 1, 1).contains(cursor)); // next to it

        // A panel that grows while open is placed again.
        const int taller = std::min(450, available.height() - border);
        panel->setFixedHeight(taller);
        QTRY_COMPARE(window->height(), taller + border);
        QVERIFY2(available.contains(window->geometry()), "grown popup leaves the screen");
        QVERIFY(window->geometry().adjusted(-1, -1, 1, 1).contains(cursor));
    }
};

QTEST_MAIN(TestTrayShell)
#include "tst_trayshell.moc"
