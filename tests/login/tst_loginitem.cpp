#include "autostartitem.h"
#include "desktopentry.h"
#include "launchagentitem.h"
#include "loginenvironment.h"

#include <QTest>
#include <QXmlStreamReader>

#include <unistd.h>

namespace {

// A launch agent read back with an XML reader, element by element ("key Label", "true ",
// "array", ...); an autostart entry as the arguments of its Exec line.
QStringList readBack(const QByteArray& entry)
{
    QStringList elements;
    QXmlStreamReader xml(entry);
    while (xml.readNext() != QXmlStreamReader::Invalid && !xml.atEnd()) {
        const QString name = xml.name().toString();
        if (xml.isStartElement() && name != QLatin1String("plist") && name != QLatin1String("dict"))
            elements.append(name == QLatin1String("array") ? name
                                                           : name + u' ' + xml.readElementText());
    }
    if (!xml.hasError())
        return elements;
    for (const QString& line : QString::fromUtf8(entry).split(u'\n')) {
        if (line.startsWith(QLatin1String("Exec=")))
            return DesktopEntry::splitCommandLine(line.mid(5)).value_or(QStringList());
    }
    return {};
}

} // namespace

class TestLoginItem : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stateMachine_data()
    {
        QTest::addColumn<bool>("launchAgent");
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<QString>("entry");   // in the temporary folder
        QTest::addColumn<QString>("written"); // as read back, ","-separated; EXE: the program
        QTest::addRow("launch agent, no identifier")
            << true << QString()
            << QStringLiteral("home/Library/LaunchAgents/com.kestrel.unknown.plist")
            << QStringLiteral("key KeepAlive,false ,key Label,string com.kestrel.unknown,"
                              "key ProgramArguments,array,string EXE,key RunAtLoad,true ");
        QTest::addRow("autostart")
            << false << QStringLiteral("com.example.tidewatch")
            << QStringLiteral("home/.config/autostart/com.example.tidewatch.desktop")
            << QStringLiteral("EXE");
    }
    void stateMachine()
    {
        QFETCH(bool, launchAgent);
        QFETCH(QString, entry);
        QFETCH(QString, written);
        QFETCH(QString, identifier);
        LoginEnvironment environment;
        environment.identifier = identifier;
        std::unique_ptr<LoginItem> item = std::make_unique<AutostartItem>(environment);
        if (launchAgent)
            item = std::make_unique<LaunchAgentItem>(environment);
        QCOMPARE(item->entryPath(), environment.path(entry));
        QVERIFY(!item->setEnabled(false)); // off stays off, quietly
        QVERIFY(!item->isEnabled());

        // Whatever is there counts as on, and is written anew (the program may have moved).
        QVERIFY(LoginEnvironment::write(item->entryPath(), "stale"));
        QVERIFY(item->isEnabled());
        QVERIFY(!item->setEnabled(true));
        QCOMPARE(readBack(LoginEnvironment::read(item->entryPath())),
                 written.split(u',').replaceInStrings(QStringLiteral("EXE"),
                                                      environment.executablePath));

        QVERIFY(!item->setEnabled(false)); // launchctl's failure is no error
        QVERIFY(!item->isEnabled());
        const QByteArray bootout =
            "bootout\ngui/" + QByteArray::number(::getuid()) + '/' + item->label().toUtf8() + '\n';
        QCOMPARE(LoginEnvironment::read(environment.path(QStringLiteral("launchctl.args"))),
                 launchAgent ? bootout : QByteArray());
    }

    // One change with something in the way. Turning off removes a file or a link, but a
    // folder is reported rather than deleted with its contents. Turning on replaces a link
    // with the entry, never writing through it.
    void obstacles_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<bool>("enable");
        QTest::addColumn<QString>("failure"); // how the message starts; empty: success
        QTest::addRow("app gone") << QStringLiteral("app gone") << true
                                  << QStringLiteral("Couldn't find the app on disk.");
        QTest::addRow("file for a folder above")
            << QStringLiteral("file above") << true << QStringLiteral("Couldn't create the folder");
        QTest::addRow("folder for the entry, on")
            << QStringLiteral("folder") << true << QStringLiteral("Couldn't write");
        QTest::addRow("folder for the entry, off")
            << QStringLiteral("folder") << false << QStringLiteral("Couldn't remove");
        QTest::addRow("dangling link, off") << QStringLiteral("link") << false << QString();
        QTest::addRow("link to a file, on") << QStringLiteral("link out") << true << QString();
    }
    void obstacles()
    {
        QFETCH(QString, obstacle);
        QFETCH(bool, enable);
        QFETCH(QString, failure);
        const LoginEnvironment environment;
        AutostartItem item(environment);
        QVERIFY(environment.place(obstacle, item.entryPath()));
        const bool wasEnabled = item.isEnabled();
        const auto result = item.setEnabled(enable);
        QCOMPARE(result.has_value(), !failure.isEmpty());
        if (result)
            QVERIFY2(result->message().startsWith(failure), qPrintable(result->message()));
        QCOMPARE(item.isEnabled(), result ? wasEnabled : enable);
        QCOMPARE(QFileInfo::exists(item.entryPath() + QStringLiteral("/keep")),
                 obstacle == QLatin1String("folder"));
        QVERIFY(!QFileInfo(item.entryPath()).isSymLink());
        QCOMPARE(LoginEnvironment::read(environment.path(QStringLiteral("outside"))),
                 obstacle == QLatin1String("link out") ? "x" : "");
    }

    // Nothing in an autostart entry may let a desktop skip it or start something else; its
    // Exec value quotes the path (", `, $ and \ get a backslash in the quotes, % is doubled),
    // then escapes it as a string (every backslash doubled, tab and newline written out).
    void autostartEntry_data()
    {
        QTest::addColumn<QString>("desktopTemplate");
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("expected");
        QTest::addRow("no template, plain path")
            << QString() << QStringLiteral("/usr/bin/tw")
            << QStringLiteral("[Desktop Entry]\nType=Application\nName=com.example.tw\n"
                              "Exec=/usr/bin/tw\nX-GNOME-Autostart-enabled=true\n");
        QTest::addRow("skipping keys dropped, actions and comments kept, reserved characters")
            << QStringLiteral("# c\r\n[Desktop Entry]\r\nName=Tidewatch\r\nExec=tidewatch %U\r\n"
                              "TryExec=tidewatch\r\nDBusActivatable=true\r\nHidden=true\r\n"
                              "X-GNOME-Autostart-enabled=false\r\n\r\n"
                              "[Desktop Action refresh]\r\nExec=tidewatch --refresh\r\n\r\n")
            << QStringLiteral("/a b\"c`d$e\\f%g\th\ni")
            << QStringLiteral(
                   "# c\n[Desktop Entry]\nExec=\"/a b\\\\\"c\\\\`d\\\\$e\\\\\\\\f%%g\\th\\ni\"\n"
                   "X-GNOME-Autostart-enabled=true\nName=Tidewatch\n\n"
                   "[Desktop Action refresh]\nExec=tidewatch --refresh\n");
    }
    void autostartEntry()
    {
        QFETCH(QString, desktopTemplate);
        QFETCH(QString, executable);
        QTEST(DesktopEntry::autostartEntry(desktopTemplate, executable,
                                           QStringLiteral("com.example.tw")),
              "expected");
    }

    // The entry that menus read, built in; the autostart entry is written from it.
    void builtInEntry()
    {
        const QStringList lines = QString::fromUtf8(desktopEntryText()).split(u'\n');
        for (const char* line :
             {"[Desktop Entry]", "Type=Application", "Name=Tidewatch", "Exec=tidewatch",
              "Icon=" TIDEWATCH_APP_ID, "Categories=Development;"})
            QVERIFY2(lines.contains(QString::fromUtf8(line)), line);
    }
};

QTEST_GUILESS_MAIN(TestLoginItem)
#include "tst_loginitem.moc"
