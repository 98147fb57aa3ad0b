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

    // Obstacles put in the login item's way; CI runs as root, so no permissions.
    void place(const QString& obstacle, const QString& entryPath)
    {
        if (obstacle == QLatin1String("file for the folder"))
            QVERIFY(writeFile(QFileInfo(entryPath).absolutePath()));
        else if (obstacle == QLatin1String("folder for the entry"))
            QVERIFY(QDir().mkpath(entryPath));
        else if (obstacle == QLatin1String("entry"))
            QVERIFY(writeFile(entryPath));
        else if (obstacle == QLatin1String("app gone"))
            QVERIFY(QFile::remove(m_environment.executablePath));
    }
    static QCheckBox* checkBox(const QWidget& block)
    {
        return block.findChild<QCheckBox*>(QStringLiteral("openAtLoginCheckBox"));
    }
    static QLabel* errorText(const QWidget& block)
    {
        return block.findChild<QLabel*>(QStringLiteral("loginErrorText"));
    }
    static bool showsError(const QWidget& block)
    {
        return block.findChild<QWidget*>(QStringLiteral("loginErrorBox"))->isVisibleTo(&block);
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
        SettingsBlock block(item);
        const bool wasChecked = checkBox(block)->isChecked();
        QCOMPARE(wasChecked, item.isEnabled());
        QVERIFY(!showsError(block));
        place(behind, item.entryPath());

        checkBox(block)->click();
        QCOMPARE(checkBox(block)->isChecked(), shownAfter);
        QCOMPARE(item.isEnabled(), shownAfter);
        QCOMPARE(showsError(block), !message.isEmpty());
        QVERIFY2(errorText(block)->text().startsWith(message),
                 qPrintable(errorText(block)->text()));
    }

    void errorIsReplacedThenGoes()
    {
        QVERIFY(QFile::remove(m_environment.executablePath));
        AutostartItem item(m_environment);
        SettingsBlock block(item);
        checkBox(block)->click();
        QCOMPARE(errorText(block)->text(), notFound);

        QVERIFY(writeFile(m_environment.executablePath));
        place(QStringLiteral("file for the folder"), item.entryPath());
        checkBox(block)->click();
        QVERIFY(showsError(block));
        QVERIFY(errorText(block)->text() != notFound);

        QVERIFY(QFile::remove(QFileInfo(item.entryPath()).absolutePath()));
        checkBox(block)->click();
        QVERIFY(checkBox(block)->isChecked());
        QVERIFY(!showsError(block));
    }

    // The spacings around the two controls, and no room for a box that is not there.
    void noErrorNoSpace()
    {
        QVERIFY(QFile::remove(m_environment.executablePath));
        AutostartItem item(m_environment);
        SettingsBlock block(item);
        auto* link = block.findChild<QAbstractButton*>(QStringLiteral("checkForUpdatesButton"));
        const int twoControls =
            7 + checkBox(block)->sizeHint().height() + 6 + link->sizeHint().height() + 7;
        QCOMPARE(block.sizeHint().height(), twoControls);
        checkBox(block)->click();
        QVERIFY(block.sizeHint().height() > twoControls);

        QSignalSpy checkForUpdates(&block, &SettingsBlock::checkForUpdatesRequested);
        QCOMPARE(link->text(), QStringLiteral("Check for updates…"));
        link->click();
        QCOMPARE(checkForUpdates.count(), 1);
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

        checkBox(*block)->click();
        const QLabel* text = errorText(*block);
        QVERIFY(text->text().contains(QLatin1String("<b>still</b>")));
        // Measured by a label with no history. Never cut off; and where the window fits
        // itself to the panel, as the popup does, no gap either.
        QLabel reference;
        reference.setFont(text->font());
        reference.setWordWrap(true);
        reference.setText(text->text());
        QTRY_VERIFY(text->width() > 200);
        const int needed = reference.heightForWidth(text->width());
        if (constraint == QLayout::SetFixedSize)
            QTRY_COMPARE(text->height(), needed);
        else
            QTRY_VERIFY(text->height() >= needed);
        QVERIFY(text->height() > 3 * text->fontMetrics().lineSpacing());
        for (const QWidget* inner = text; inner != &window; inner = inner->parentWidget())
            QVERIFY(inner->parentWidget()->rect().contains(inner->geometry()));
    }
};

QTEST_MAIN(TestSettingsBlock)
#include "tst_settingsblock.moc"
