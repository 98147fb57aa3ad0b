#include "popupplacement.h"

#include <QTest>

class TestPopupPlacement : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void placePopup_data()
    {
        QTest::addColumn<QRect>("anchor");
        QTest::addColumn<QSize>("panel");
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QRect>("expected");
        const QSize panel(320, 400);
        // 1280x800 screen; each panel bar is 24 thick and outside the work area.
        QTest::addRow("top bar, right corner: below, pulled left onto the screen")
            << QRect(1250, 0, 24, 24) << panel << QRect(0, 24, 1280, 776)
            << QRect(960, 24, 320, 400);
        QTest::addRow("bottom bar, left corner: above, pushed right onto the screen")
            << QRect(2, 776, 24, 24) << panel << QRect(0, 0, 1280, 776) << QRect(0, 376, 320, 400);
        QTest::addRow("left bar: to the right, level with the icon")
            << QRect(0, 300, 24, 24) << panel << QRect(24, 0, 1256, 800)
            << QRect(24, 300, 320, 400);
        QTest::addRow("right bar: to the left")
            << QRect(1256, 10, 24, 24) << panel << QRect(0, 0, 1256, 800)
            << QRect(936, 10, 320, 400);
        // No work area known (bar inside the available area), or the cursor stands in.
        QTest::addRow("taller than the space below: above")
            << QRect(600, 600, 1, 1) << panel << QRect(0, 0, 1280, 800)
            << QRect(440, 200, 320, 400);
        QTest::addRow("fits neither below nor above: the larger side, clamped")
            << QRect(600, 350, 1, 1) << QSize(320, 500) << QRect(0, 0, 1280, 800)
            << QRect(440, 300, 320, 500);
        QTest::addRow("taller than the screen: cut to the screen")
            << QRect(1250, 0, 24, 24) << QSize(320, 900) << QRect(0, 24, 1280, 776)
            << QRect(960, 24, 320, 776);
        QTest::addRow("second screen, icon at its left edge: not onto the first")
            << QRect(1921, 0, 24, 24) << panel << QRect(1920, 24, 1280, 776)
            << QRect(1920, 24, 320, 400);
        QTest::addRow("screen left of the primary, negative coordinates")
            << QRect(-30, 1056, 24, 24) << panel << QRect(-1920, 0, 1920, 1056)
            << QRect(-320, 656, 320, 400);
    }
    void placePopup()
    {
        QFETCH(QRect, anchor);
        QFETCH(QSize, panel);
        QFETCH(QRect, available);
        const QRect placed = ::placePopup(anchor, panel, available);
        QTEST(placed, "expected");
        QVERIFY(available.contains(placed));
    }

    void screenIndexFor_data()
    {
        QTest::addColumn<QRect>("anchor");
        QTest::addColumn<QList<QRect>>("screens");
        QTest::addColumn<int>("expected");
        const QList<QRect> two{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 800)};
        QTest::addRow("icon on the second screen") << QRect(3170, 0, 24, 24) << two << 1;
        QTest::addRow("icon straddling, centre on the second")
            << QRect(1910, 0, 24, 24) << two << 1;
        QTest::addRow("below the shorter second screen: nearest is the second")
            << QRect(2500, 900, 1, 1) << two << 1;
        QTest::addRow("off every screen to the left: the first")
            << QRect(-50, 10, 1, 1) << two << 0;
        QTest::addRow("no screens") << QRect(0, 0, 1, 1) << QList<QRect>{} << -1;
    }
    void screenIndexFor()
    {
        QFETCH(QRect, anchor);
        QFETCH(QList<QRect>, screens);
        QTEST(::screenIndexFor(anchor, screens), "expected");
    }
};

QTEST_GUILESS_MAIN(TestPopupPlacement)
#include "tst_popupplacement.moc"
