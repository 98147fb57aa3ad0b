#include "autostartitem.h"
#include "loginenvironment.h"
#include "settingsblock.h"

#include <QCheckBox>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

class TestSettingsBlock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A click on "Open at login" with whatever was in the way: a failure shows its message and
    // what is really on disk; the next click, with the way clear, succeeds and the box goes.
    void binding_data()
    {
        QTest::addColumn<QString>("before"); // put there before the panel is built
        QTest::addColumn<bool>("shownAfter");
        QTest::addColumn<QString>("message"); // how it starts; empty: no error box
        QTest::addRow("tick") << QString() << true << QString();
        QTest::addRow("untick") << QStringLiteral("entry") << false << QString();
        // Clicked off, but the entry is still there: the box shows it on.
        QTest::addRow("untick fails")
            << QStringLiteral("folder") << true << QStringLiteral("Couldn't remove");
    }
    void binding()
    {
        QFETCH(QString, before);
        QFETCH(bool, shownAfter);
        QFETCH(QString, message);
        const LoginEnvironment environment;
        AutostartItem item(environment);
        QVERIFY(environment.place(before, item.entryPath()));
        SettingsBlock block(item);
        auto* box = block.findChild<QCheckBox*>(QStringLiteral("openAtLoginCheckBox"));
        const auto* error = block.findChild<QLabel*>(QStringLiteral("loginErrorText"));
        QCOMPARE(box->isChecked(), item.isEnabled());

        box->click();
        QCOMPARE(box->isChecked(), shownAfter);
        QCOMPARE(item.isEnabled(), shownAfter);
        QCOMPARE(error->isVisibleTo(&block), !message.isEmpty()); // in the error box
        QVERIFY2(error->text().startsWith(message), qPrintable(error->text()));

        QDir(item.entryPath()).removeRecursively();
        box->click();
        QCOMPARE(box->isChecked(), !shownAfter);
        QVERIFY(!error->isVisibleTo(&block));

        QSignalSpy checkForUpdates(&block, &SettingsBlock::checkForUpdatesRequested);
        auto* link = block.findChild<QAbstractButton*>(QStringLiteral("checkForUpdatesButton"));
        link->click();
        block.setUpdateChecksAvailable(false); // a build without a feed: says so, asks nothing
        link->click();
        QCOMPARE(checkForUpdates.count(), 1);
        QCOMPARE(link->toolTip(), QStringLiteral("This build does not check for updates."));
    }

    // In the 320-wide panel a long message wraps onto as many lines as it takes, and the
    // window grows to hold them, whatever the window's own layout does with sizes.
    void longMessageWraps_data()
    {
        QTest::addColumn<QLayout::SizeConstraint>("constraint");
        QTest::addRow("default") << QLayout::SetDefaultConstraint;
        QTest::addRow("fixed size, as the popup") << QLayout::SetFixedSize;
    }
    void longMessageWraps()
    {
        QFETCH(QLayout::SizeConstraint, constraint);
        LoginEnvironment environment;
        environment.configHome = environment.path(
            QStringLiteral("a rather long folder name/that goes on/and on and on/still going"
                           "/further down/until the message cannot fit on three lines"));
        AutostartItem item(environment);
        QVERIFY(environment.place(QStringLiteral("file above"), item.entryPath()));
        QWidget window;
        auto* windowLayout = new QVBoxLayout(&window);
        windowLayout->setSizeConstraint(constraint);
        auto* panel = new QWidget;
        panel->setFixedWidth(320);
        windowLayout->addWidget(panel);
        auto* block = new SettingsBlock(item);
        (new QVBoxLayout(panel))->addWidget(block);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        block->findChild<QCheckBox*>(QStringLiteral("openAtLoginCheckBox"))->click();
        const auto* text = block->findChild<QLabel*>(QStringLiteral("loginErrorText"));
        // Measured by a label with no history. Never cut off; and where the window fits
        // itself to the panel, as the popup does, no gap either.
        QLabel reference(text->text());
        reference.setFont(text->font());
        reference.setWordWrap(true);
        QVERIFY(text->text().contains(environment.configHome)); // $XDG_CONFIG_HOME is used
        QTRY_VERIFY(text->width() > 200);
        const int needed = reference.heightForWidth(text->width());
        QTRY_VERIFY(constraint == QLayout::SetFixedSize ? text->height() == needed
                                                        : text->height() >= needed);
        QVERIFY(text->height() > 3 * text->fontMetrics().lineSpacing());
        for (const QWidget* inner = text; inner != &window; inner = inner->parentWidget())
            QVERIFY(inner->parentWidget()->rect().contains(inner->geometry()));
    }
};

QTEST_MAIN(TestSettingsBlock)
#include "tst_settingsblock.moc"
