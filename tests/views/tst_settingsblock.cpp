#include "autostartitem.h"
#include "settingsblock.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

namespace {

const QString notFound = QStringLiteral("Couldn't find the app on disk.");

bool writeFile(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("x") == 1;
}

} // namespace

class TestSettingsBlock : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    LoginItem::Environment m_environment;

    struct Block
    {
        std::unique_ptr<SettingsBlock> widget;
        QCheckBox* checkBox;
        QWidget* errorBox;
        QLabel* errorText;
    };
    static Block find(std::unique_ptr<SettingsBlock> widget)
    {
        auto* checkBox = widget->findChild<QCheckBox*>(QStringLiteral("openAtLoginCheckBox"));
        auto* errorBox = widget->findChild<QWidget*>(QStringLiteral("loginErrorBox"));
        auto* errorText = widget->findChild<QLabel*>(QStringLiteral("loginErrorText"));
        return {std::move(widget), checkBox, errorBox, errorText};
    }
    static bool showsError(const Block& block)
    {
        return block.errorBox->isVisibleTo(block.widget.get());
    }

    // Obstacles the test puts in the login item's way; CI runs as root, so no permissions.
    void place(const QString& obstacle, const QString& entryPath)
    {
        const QString folder = QFileInfo(entryPath).absolutePath();
        if (obstacle == QLatin1String("file for the folder"))
            QVERIFY(writeFile(folder));
        else if (obstacle == QLatin1String("folder for the entry"))
            QVERIFY(QDir().mkpath(entryPath));
        else if (obstacle == QLatin1String("entry"))
            QVERIFY(writeFile(entryPath));
        else if (obstacle == QLatin1String("app gone"))
            QVERIFY(QFile::remove(m_environment.executablePath));
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_environment = {};
        m_environment.identifier = QStringLiteral("com.example.tidewatch");
        m_environment.homePath = m_dir->filePath(QStringLiteral("home"));
        m_environment.executablePath = m_dir->filePath(QStringLiteral("tidewatch"));
        QVERIFY(writeFile(m_environment.executablePath));
    }

    // One click on "Open at login", with whatever was on disk and in the way beforehand.
    void binding_data()
    {
        QTest::addColumn<QString>("before"); // put there before the panel is built
        QTest::addColumn<QString>("behind"); // put there afterwards, behind its back
        QTest::addColumn<bool>("shownAfter");
        QTest::addColumn<QString>("message"); // empty: no error box
        QTest::addRow("tick") << QString() << QString() << true << QString();
        QTest::addRow("untick") << QStringLiteral("entry") << QString() << false << QString();
        QTest::addRow("tick, app gone")
            << QString() << QStringLiteral("app gone") << false << notFound;
        QTest::addRow("tick, folder can't be made")
            << QStringLiteral("file for the folder") << QString() << false
            << QStringLiteral("Couldn't create the folder");
        QTest::addRow("untick, entry can't be removed")
            << QStringLiteral("folder for the entry") << QString() << true
            << QStringLiteral("Couldn't remove");
        // The box was stale (off); the failed tick shows what is really there (on).
        QTest::addRow("tick fails, fresh reading")
            << QString() << QStringLiteral("folder for the entry") << true
            << QStringLiteral("Couldn't write");
    }
    void binding()
    {
        QFETCH(QString, before);
        QFETCH(QString, behind);
        QFETCH(bool, shownAfter);
        QFETCH(QString, message);
        AutostartItem item(m_environment);
        place(before, item.entryPath());
        const Block block = find(std::make_unique<SettingsBlock>(item));
        QCOMPARE(block.checkBox->isChecked(), item.isEnabled());
        QVERIFY(!showsError(block));
        const bool wasChecked = block.checkBox->isChecked();
        place(behind, item.entryPath());
        QCOMPARE(block.checkBox->isChecked(), wasChecked); // nothing watches the disk

        block.checkBox->click();
        QCOMPARE(block.checkBox->isChecked(), shownAfter);
        QCOMPARE(item.isEnabled(), shownAfter);
        QCOMPARE(showsError(block), !message.isEmpty());
        if (!message.isEmpty())
            QVERIFY2(block.errorText->text().startsWith(message),
                     qPrintable(block.errorText->text()));
    }

    void errorIsReplacedThenGoes()
    {
        QVERIFY(QFile::remove(m_environment.executablePath));
        AutostartItem item(m_environment);
        const Block block = find(std::make_unique<SettingsBlock>(item));
        block.checkBox->click();
        QCOMPARE(block.errorText->text(), notFound);

        QVERIFY(writeFile(m_environment.executablePath));
        place(QStringLiteral("file for the folder"), item.entryPath());
        block.checkBox->click();
        QVERIFY(showsError(block));
        QVERIFY(block.errorText->text() != notFound);

        QVERIFY(QFile::remove(QFileInfo(item.entryPath()).absolutePath()));
        block.checkBox->click();
        QVERIFY(block.checkBox->isChecked());
        QVERIFY(!showsError(block));
    }

    void noErrorNoSpace()
    {
        QVERIFY(QFile::remove(m_environment.executablePath));
        AutostartItem item(m_environment);
        const Block block = find(std::make_unique<SettingsBlock>(item));
        const auto* link =
            block.widget->findChild<QWidget*>(QStringLiteral("checkForUpdatesButton"));
        const int twoControls =
            7 + block.checkBox->sizeHint().height() + 6 + link->sizeHint().height() + 7;
        QCOMPARE(block.widget->sizeHint().height(), twoControls);
        block.checkBox->click();
        QVERIFY(block.widget->sizeHint().height() > twoControls);
    }

    // In the 320-wide panel a long message wraps onto as many lines as it takes, and the
    // window grows to hold them, whatever the window's own layout does with sizes.
    void longMessageWraps_data()
    {
        QTest::addColumn<QLayout::SizeConstraint>("constraint");
        QTest::addColumn<bool>("fitsItself");
        QTest::addRow("default") << QLayout::SetDefaultConstraint << false;
        QTest::addRow("minimum size") << QLayout::SetMinimumSize << false;
        QTest::addRow("fixed size") << QLayout::SetFixedSize << true;
    }
    void longMessageWraps()
    {
        QFETCH(QLayout::SizeConstraint, constraint);
        QFETCH(bool, fitsItself);
        m_environment.configHome = m_dir->filePath(
            QStringLiteral("a rather long folder name/that goes on/and on and on/<b>still</b>"
                           "/going further down/until the message cannot fit on one line"));
        AutostartItem item(m_environment);
        place(QStringLiteral("file for the folder"), item.entryPath());

        QWidget window;
        auto* windowLayout = new QVBoxLayout(&window);
        windowLayout->setContentsMargins(0, 0, 0, 0);
        windowLayout->setSizeConstraint(constraint);
        auto* panel = new QWidget(&window);
        panel->setFixedWidth(320);
        windowLayout->addWidget(panel);
        auto* block = new SettingsBlock(item, panel);
        (new QVBoxLayout(panel))->addWidget(block);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        block->findChild<QCheckBox*>(QStringLiteral("openAtLoginCheckBox"))->click();
        const auto* box = block->findChild<QWidget*>(QStringLiteral("loginErrorBox"));
        const auto* text = block->findChild<QLabel*>(QStringLiteral("loginErrorText"));
        QVERIFY(text->text().contains(QLatin1String("<b>still</b>")));
        // Measured by a label with no history. Never cut off; and where the window fits
        // itself to the panel, as the popup does, no gap either.
        QLabel reference;
        reference.setFont(text->font());
        reference.setWordWrap(true);
        reference.setText(text->text());
        QTRY_VERIFY(text->width() > 200);
        const int needed = reference.heightForWidth(text->width());
        if (fitsItself)
            QTRY_COMPARE(text->height(), needed);
        else
            QTRY_VERIFY(text->height() >= needed);
        QVERIFY2(text->height() > 3 * text->fontMetrics().lineSpacing(),
                 qPrintable(QString::number(text->height())));
        QVERIFY(box->rect().contains(text->geometry()));
        QVERIFY(block->rect().contains(box->geometry()));
        QVERIFY(panel->rect().contains(block->geometry()));
        QVERIFY(window.rect().contains(panel->geometry()));
    }

    void checkForUpdates()
    {
        AutostartItem item(m_environment);
        SettingsBlock block(item);
        QSignalSpy spy(&block, &SettingsBlock::checkForUpdatesRequested);
        auto* link = block.findChild<QAbstractButton*>(QStringLiteral("checkForUpdatesButton"));
        QCOMPARE(link->text(), QStringLiteral("Check for updates…"));
        link->click();
        QCOMPARE(spy.count(), 1);
        QVERIFY(!item.isEnabled());
    }
};

QTEST_MAIN(TestSettingsBlock)
#include "tst_settingsblock.moc"
