#include "desktopentry.h"
#include "desktopentryresource.h"

#include <QTest>

class TestDesktopEntry : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // One argument through both layers: the quoting, then the string-value escapes.
    void commandLine_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("value");
        QTest::addRow("plain") << QStringLiteral("/usr/bin/tidewatch")
                               << QStringLiteral("/usr/bin/tidewatch");
        QTest::addRow("space") << QStringLiteral("/opt/my app/tw")
                               << QStringLiteral("\"/opt/my app/tw\"");
        QTest::addRow("double quote") << QStringLiteral("a\"b") << QStringLiteral("\"a\\\\\"b\"");
        // \ is escaped by the quoting, and both backslashes again by the string layer.
        QTest::addRow("backslash") << QStringLiteral("a\\b") << QStringLiteral("\"a\\\\\\\\b\"");
        QTest::addRow("dollar") << QStringLiteral("$HOME") << QStringLiteral("\"\\\\$HOME\"");
        QTest::addRow("backquote") << QStringLiteral("`id`") << QStringLiteral("\"\\\\`id\\\\`\"");
        QTest::addRow("percent, quoted") << QStringLiteral("a %U") << QStringLiteral("\"a %%U\"");
        QTest::addRow("tab and newline")
            << QStringLiteral("a\tb\nc") << QStringLiteral("\"a\\tb\\nc\"");
        QTest::addRow("empty") << QString() << QStringLiteral("\"\"");
    }
    void commandLine()
    {
        QFETCH(QString, argument);
        QFETCH(QString, value);
        QCOMPARE(DesktopEntry::commandLine({argument}), value);
        QCOMPARE(DesktopEntry::splitCommandLine(value), QStringList{argument});
    }

    void splitHandWritten_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<std::optional<QStringList>>("arguments");
        QTest::addRow("field code stays")
            << QStringLiteral("tidewatch  %U")
            << std::optional(QStringList{QStringLiteral("tidewatch"), QStringLiteral("%U")});
        QTest::addRow("\\s is a space")
            << QStringLiteral("\"a\\sb\"") << std::optional(QStringList{QStringLiteral("a b")});
        const std::optional<QStringList> broken;
        QTest::addRow("unterminated quote") << QStringLiteral("\"/a b") << broken;
        QTest::addRow("quote inside an argument") << QStringLiteral("a\"b c\"") << broken;
        QTest::addRow("text after a closing quote") << QStringLiteral("\"a\"b") << broken;
        QTest::addRow("reserved outside quotes") << QStringLiteral("a$b") << broken;
        QTest::addRow("unknown escape in quotes") << QStringLiteral("\"\\\\a\"") << broken;
        QTest::addRow("lone percent at the end") << QStringLiteral("a%") << broken;
    }
    void splitHandWritten()
    {
        QFETCH(QString, value);
        QFETCH(std::optional<QStringList>, arguments);
        QCOMPARE(DesktopEntry::splitCommandLine(value), arguments);
    }

    void autostartEntry_data()
    {
        QTest::addColumn<QString>("desktopTemplate");
        QTest::addColumn<QString>("expected");
        const QString exec =
            QStringLiteral("Exec=\"/opt/my app/tw\"\nX-GNOME-Autostart-enabled=true\n");
        QTest::addRow("no template")
            << QString()
            << QStringLiteral("[Desktop Entry]\nType=Application\nName=com.example.tw\n") + exec;
        QTest::addRow("no main group")
            << QStringLiteral("[Other]\nExec=x\n")
            << QStringLiteral("[Desktop Entry]\nType=Application\nName=com.example.tw\n") + exec;
        QTest::addRow("skipping keys dropped, actions and comments kept")
            << QStringLiteral("# c\r\n[Desktop Entry]\r\nName=Tidewatch\r\nExec=tidewatch %U\r\n"
                              "TryExec=tidewatch\r\nDBusActivatable=true\r\nHidden=true\r\n"
                              "X-GNOME-Autostart-enabled=false\r\nIcon=tidewatch\r\n\r\n"
                              "[Desktop Action refresh]\r\nExec=tidewatch --refresh\r\n\r\n")
            << QStringLiteral("# c\n[Desktop Entry]\n") + exec +
                   QStringLiteral("Name=Tidewatch\nIcon=tidewatch\n\n[Desktop Action refresh]\n"
                                  "Exec=tidewatch --refresh\n");
    }
    void autostartEntry()
    {
        QFETCH(QString, desktopTemplate);
        QFETCH(QString, expected);
        QCOMPARE(DesktopEntry::autostartEntry(desktopTemplate, QStringLiteral("/opt/my app/tw"),
                                              QStringLiteral("com.example.tw")),
                 expected);
    }

    // The built-in entry that menus read, and the autostart entry written from it: a broken
    // key means the program is missing from menus or never starts at login.
    void builtInEntry_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("inMenuEntry");
        QTest::addColumn<bool>("inAutostartEntry");
        for (const char* line : {"[Desktop Entry]", "Type=Application", "Name=Tidewatch",
                                 "Icon=" TIDEWATCH_APP_ID, "Categories=Development;Network;"})
            QTest::addRow("%s", line) << QString::fromUtf8(line) << true << true;
        QTest::addRow("menu Exec") << QStringLiteral("Exec=tidewatch") << true << false;
        QTest::addRow("autostart Exec") << QStringLiteral("Exec=/opt/tw") << false << true;
    }
    void builtInEntry()
    {
        QFETCH(QString, line);
        const QString menuEntry = QString::fromUtf8(desktopEntryText());
        const QString autostart = DesktopEntry::autostartEntry(menuEntry, QStringLiteral("/opt/tw"),
                                                               QStringLiteral(TIDEWATCH_APP_ID));
        QTEST(menuEntry.split(u'\n').contains(line), "inMenuEntry");
        QTEST(autostart.split(u'\n').contains(line), "inAutostartEntry");
    }
};

QTEST_GUILESS_MAIN(TestDesktopEntry)
#include "tst_desktopentry.moc"
