#include "popupplacement.h"

#include <QTest>

class TestPopupPlacement : public QObject
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
        QTest::addRow("fits neither below nor above: the larger side, cut to it")
            << QRect(600, 350, 1, 1) << 500 << QRect(0, 0, 1280, 800) << QRect(440, 351, 320, 449);
        QTest::addRow("top bar on a short screen: cut, never over the icon")
            << QRect(617, 0, 22, 11) << 500 << QRect(0, 0, 640, 400) << QRect(320, 11, 320, 389);
        QTest::addRow("left bar spanning the screen: beside it")
            << QRect(0, 0, 24, 800) << 400 << QRect(0, 0, 1280, 800) << QRect(24, 0, 320, 400);
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
};

QTEST_APPLESS_MAIN(TestPopupPlacement)
#include "tst_popupplacement.moc"
