#include "panelwindow.h"
#include "recordingdesktopservices.h"
#include "trayshell.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

namespace {

// Stands in for the port list: 320 wide, as tall as it is told.
class FakePanel : public QWidget
{
public:
    FakePanel()
    {
        setFixedWidth(320);
        setHeight(200);
    }
    void setHeight(int height) { setFixedHeight(height); }
};

} // namespace

class TestTrayShell : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void noTrayShowsAClosableWindow();
    void closingThePopup_data();
    void closingThePopup();
    void popupStaysOnScreenAtTheCursor_data();
    void popupStaysOnScreenAtTheCursor();
    void popupRefitsWhenThePanelGrows();
};

void TestTrayShell::noTrayShowsAClosableWindow()
{
    RecordingDesktopServices desktop;
    TrayShell shell(new FakePanel, desktop, false);
    QVERIFY(!shell.trayIcon());
    shell.show();
    PanelWindow* window = shell.panelWindow();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE(window->windowTitle(), QStringLiteral("Tidewatch"));
    QCOMPARE(window->windowType(), Qt::Window);
    QCOMPARE(window->width(), 320);

    window->close();
    QCOMPARE(desktop.terminateCalls, 1);
}

void TestTrayShell::closingThePopup_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("nextClickOpens");

    QTest::addRow("click on the icon") << QStringLiteral("click") << true;
    QTest::addRow("Escape") << QStringLiteral("escape") << true;
    // The press lands outside the popup and closes it, then reaches the icon as a click.
    QTest::addRow("press on the icon, outside the popup") << QStringLiteral("press") << false;
}

void TestTrayShell::closingThePopup()
{
    QFETCH(QString, how);
    QFETCH(bool, nextClickOpens);

    RecordingDesktopServices desktop;
    TrayShell shell(new FakePanel, desktop, true);
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

void TestTrayShell::popupStaysOnScreenAtTheCursor_data()
{
    QTest::addColumn<QPointF>("where"); // cursor position as a fraction of the screen

    QTest::addRow("top left") << QPointF(0.0, 0.0);
    QTest::addRow("top right") << QPointF(1.0, 0.0);
    QTest::addRow("bottom right") << QPointF(1.0, 1.0);
    QTest::addRow("bottom left") << QPointF(0.0, 1.0);
    QTest::addRow("middle") << QPointF(0.5, 0.5);
}

void TestTrayShell::popupStaysOnScreenAtTheCursor()
{
    QFETCH(QPointF, where);
    // The offscreen platform does not tell where tray icons are: the cursor stands in.
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint cursor(available.left() + int(where.x() * (available.width() - 1)),
                        available.top() + int(where.y() * (available.height() - 1)));
    QCursor::setPos(cursor);
    if (QCursor::pos() != cursor)
        QSKIP("this platform cannot move the cursor");

    RecordingDesktopServices desktop;
    TrayShell shell(new FakePanel, desktop, true);
    shell.togglePanel();
    PanelWindow* window = shell.panelWindow();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    const int border = 2 * PanelWindow::borderWidth;
    QCOMPARE(window->size(), QSize(320 + border, 200 + border));
    QVERIFY2(available.contains(window->geometry()), "popup leaves the screen");
    // Next to the cursor: touching it horizontally or vertically.
    QVERIFY(window->geometry().adjusted(-1, -1, 1, 1).contains(cursor));
}

void TestTrayShell::popupRefitsWhenThePanelGrows()
{
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint cursor(available.right() - 10, available.bottom() - 10);
    QCursor::setPos(cursor);
    if (QCursor::pos() != cursor)
        QSKIP("this platform cannot move the cursor");

    RecordingDesktopServices desktop;
    auto* panel = new FakePanel;
    TrayShell shell(panel, desktop, true);
    shell.togglePanel();
    PanelWindow* window = shell.panelWindow();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    const int border = 2 * PanelWindow::borderWidth;
    QCOMPARE(window->height(), 200 + border);

    const int taller = std::min(450, available.height() - border);
    panel->setHeight(taller);
    QTRY_COMPARE(window->height(), taller + border);
    QVERIFY2(available.contains(window->geometry()), "grown popup leaves the screen");
    QCOMPARE(window->geometry().bottom(), cursor.y() - 1);
}

QTEST_MAIN(TestTrayShell)
#include "tst_trayshell.moc"
