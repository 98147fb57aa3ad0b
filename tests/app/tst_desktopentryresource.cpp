#include "desktopentryresource.h"

#include <QTest>

// The entry that menus and the autostart entry read: a broken key here means the program
// is missing from menus or never starts at login.
class TestDesktopEntryResource : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keys_data();
    void keys();
};

void TestDesktopEntryResource::keys_data()
{
    QTest::addColumn<QString>("line");

    QTest::addRow("group") << QStringLiteral("[Desktop Entry]");
    QTest::addRow("type") << QStringLiteral("Type=Application");
    QTest::addRow("name") << QStringLiteral("Name=Tidewatch");
    QTest::addRow("exec") << QStringLiteral("Exec=tidewatch");
    QTest::addRow("icon named by the identifier") << QStringLiteral("Icon=" TIDEWATCH_APP_ID);
    QTest::addRow("categories") << QStringLiteral("Categories=Development;Network;");
}

void TestDesktopEntryResource::keys()
{
    QFETCH(QString, line);
    const QStringList lines = QString::fromUtf8(desktopEntryText()).split(u'\n');
    QVERIFY2(lines.contains(line), qPrintable(line));
}

QTEST_GUILESS_MAIN(TestDesktopEntryResource)
#include "tst_desktopentryresource.moc"
