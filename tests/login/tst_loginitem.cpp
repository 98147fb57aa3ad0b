#include "autostartitem.h"
#include "desktopentry.h"
#include "launchagentitem.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <unistd.h>

namespace {

const QString unknownLabel = QStringLiteral("com.kestrel.unknown");

enum class Format
{
    LaunchAgent,
    Autostart
};

std::unique_ptr<LoginItem> makeItem(Format format, const LoginItem::Environment& environment)
{
    if (format == Format::LaunchAgent)
        return std::make_unique<LaunchAgentItem>(environment);
    return std::make_unique<AutostartItem>(environment);
}

bool writeFile(const QString& path, const QByteArray& bytes,
               QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() &&
           file.setPermissions(permissions);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A launch agent read back as key -> value: strings, bools and arrays of strings. Anything
// else fails the read.
std::optional<QVariantMap> readPropertyList(const QByteArray& bytes)
{
    QXmlStreamReader xml(bytes);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("plist") ||
        !xml.readNextStartElement() || xml.name() != QLatin1String("dict"))
        return std::nullopt;
    QVariantMap entries;
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1String("key"))
            return std::nullopt;
        const QString key = xml.readElementText();
        if (!xml.readNextStartElement())
            return std::nullopt;
        if (xml.name() == QLatin1String("string")) {
            entries.insert(key, xml.readElementText());
        } else if (xml.name() == QLatin1String("true") || xml.name() == QLatin1String("false")) {
            entries.insert(key, xml.name() == QLatin1String("true"));
            xml.skipCurrentElement();
        } else if (xml.name() == QLatin1String("array")) {
            QStringList array;
            while (xml.readNextStartElement()) {
                if (xml.name() != QLatin1String("string"))
                    return std::nullopt;
                array.append(xml.readElementText());
            }
            entries.insert(key, array);
        } else {
            return std::nullopt;
        }
    }
    if (xml.hasError())
        return std::nullopt;
    return entries;
}

// The program an entry starts, read back by the format's own rules.
QStringList programArguments(Format format, const QByteArray& entry)
{
    if (format == Format::LaunchAgent)
        return readPropertyList(entry)
            .value_or(QVariantMap())
            .value(QStringLiteral("ProgramArguments"))
            .toStringList();
    for (const QString& line : QString::fromUtf8(entry).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("Exec=")))
            return DesktopEntry::splitCommandLine(line.mid(5)).value_or(QStringList());
    }
    return {};
}

} // namespace

class TestLoginItem : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    LoginItem::Environment m_environment;

    QString path(const QString& relative) const { return m_dir->filePath(relative); }

    // A stand-in launchctl that records its arguments, one a line, and fails.
    QString writeLaunchctl(const QByteArray& extra = {})
    {
        const QString script = path(QStringLiteral("bin/launchctl"));
        const QByteArray text = "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" +
                                QFile::encodeName(path(QStringLiteral("launchctl.args"))) + "'\n" +
                                extra + "exit 3\n";
        writeFile(script, text, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return script;
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_environment = {};
        m_environment.identifier = QStringLiteral("com.example.tidewatch");
        m_environment.homePath = path(QStringLiteral("home"));
        m_environment.executablePath = path(QStringLiteral("app/tidewatch"));
        // Every launch agent test but one also shows that a missing launchctl is no error.
        m_environment.launchctlPath = path(QStringLiteral("no-such-launchctl"));
        m_environment.desktopTemplate =
            QStringLiteral("[Desktop Entry]\nType=Application\nName=Tidewatch\nExec=tidewatch\n");
        QVERIFY(writeFile(m_environment.executablePath, "#!/bin/sh\n"));
    }

    void entryPath_data()
    {
        QTest::addColumn<Format>("format");
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<QString>("configHome");
        QTest::addColumn<QString>("expected");
        const QString id = QStringLiteral("com.example.tidewatch");
        QTest::addRow("launch agent")
            << Format::LaunchAgent << id << QString()
            << QStringLiteral("home/Library/LaunchAgents/") + id + QStringLiteral(".plist");
        QTest::addRow("launch agent, no identifier")
            << Format::LaunchAgent << QString() << QString()
            << QStringLiteral("home/Library/LaunchAgents/") + unknownLabel +
                   QStringLiteral(".plist");
        QTest::addRow("autostart, default config folder")
            << Format::Autostart << id << QString()
            << QStringLiteral("home/.config/autostart/") + id + QStringLiteral(".desktop");
        QTest::addRow("autostart, relative config folder is ignored")
            << Format::Autostart << id << QStringLiteral("cfg")
            << QStringLiteral("home/.config/autostart/") + id + QStringLiteral(".desktop");
        QTest::addRow("autostart, XDG_CONFIG_HOME")
            << Format::Autostart << QString() << QStringLiteral("/cfg")
            << QStringLiteral("/cfg/autostart/") + unknownLabel + QStringLiteral(".desktop");
    }
    void entryPath()
    {
        QFETCH(Format, format);
        QFETCH(QString, identifier);
        QFETCH(QString, configHome);
        QFETCH(QString, expected);
        m_environment.identifier = identifier;
        m_environment.configHome = configHome;
        const auto item = makeItem(format, m_environment);
        QCOMPARE(item->label(), identifier.isEmpty() ? unknownLabel : identifier);
        QCOMPARE(item->entryPath(),
                 expected.startsWith(QLatin1Char('/')) ? expected : path(expected));
    }

    void stateMachine_data()
    {
        QTest::addColumn<Format>("format");
        QTest::addRow("launch agent") << Format::LaunchAgent;
        QTest::addRow("autostart") << Format::Autostart;
    }
    void stateMachine()
    {
        QFETCH(Format, format);
        const auto item = makeItem(format, m_environment);
        QVERIFY(!item->isEnabled());
        QVERIFY(!item->setEnabled(false)); // off stays off, quietly
        QVERIFY(!item->isEnabled());

        // The folders above the entry are made as needed.
        QVERIFY(!QFileInfo::exists(m_environment.homePath));
        QVERIFY(!item->setEnabled(true));
        QVERIFY(item->isEnabled());
        const QByteArray first = readFile(item->entryPath());
        QCOMPARE(programArguments(format, first), QStringList{m_environment.executablePath});

        QVERIFY(!item->setEnabled(true));
        QVERIFY(item->isEnabled());
        QCOMPARE(readFile(item->entryPath()), first);

        QVERIFY(!item->setEnabled(false));
        QVERIFY(!item->isEnabled());
        QVERIFY(!QFileInfo::exists(item->entryPath()));
        QVERIFY(!item->setEnabled(false));
    }

    void launchAgentHasExactlyFourEntries()
    {
        m_environment.identifier.clear();
        LaunchAgentItem item(m_environment);
        QVERIFY(!item.setEnabled(true));
        const auto entries = readPropertyList(readFile(item.entryPath()));
        QVERIFY(entries);
        const QVariantMap expected{
            {QStringLiteral("Label"), unknownLabel},
            {QStringLiteral("ProgramArguments"), QStringList{m_environment.executablePath}},
            {QStringLiteral("RunAtLoad"), true},
            {QStringLiteral("KeepAlive"), false}};
        QCOMPARE(*entries, expected);
    }

    void executablePathRoundTrip_data()
    {
        QTest::addColumn<Format>("format");
        QTest::addColumn<QString>("name");
        const QStringList names = {
            QStringLiteral("My Apps/Tide watch"),  QStringLiteral("quotes \"double\" and 'single'"),
            QStringLiteral("back\\slash"),         QStringLiteral("$HOME and `id` and $(id)"),
            QStringLiteral("100%% %U %f"),         QStringLiteral("a=b;c&d|e<f>g*h?i#j~k"),
            QStringLiteral("tab\tand\nnewline"),   QStringLiteral(" leading space"),
            QStringLiteral("Grüße ☃ <xml> &amp;"),
        };
        for (const QString& name : names) {
            QTest::addRow("launch agent: %s", qPrintable(name)) << Format::LaunchAgent << name;
            QTest::addRow("autostart: %s", qPrintable(name)) << Format::Autostart << name;
        }
    }
    void executablePathRoundTrip()
    {
        QFETCH(Format, format);
        QFETCH(QString, name);
        m_environment.executablePath = path(QStringLiteral("app/") + name);
        QVERIFY(writeFile(m_environment.executablePath, "#!/bin/sh\n"));
        const auto item = makeItem(format, m_environment);
        QVERIFY(!item->setEnabled(true));
        QCOMPARE(programArguments(format, readFile(item->entryPath())),
                 QStringList{m_environment.executablePath});
    }

    void movedExecutableIsWrittenAnew_data() { stateMachine_data(); }
    void movedExecutableIsWrittenAnew()
    {
        QFETCH(Format, format);
        const QString oldPath = m_environment.executablePath;
        QVERIFY(!makeItem(format, m_environment)->setEnabled(true));

        const QString newPath = path(QStringLiteral("moved/tidewatch"));
        QDir().mkpath(path(QStringLiteral("moved")));
        QVERIFY(QFile::rename(oldPath, newPath));
        m_environment.executablePath = newPath;
        const auto item = makeItem(format, m_environment);
        QVERIFY(item->isEnabled()); // nobody looks inside
        QCOMPARE(programArguments(format, readFile(item->entryPath())), QStringList{oldPath});
        QVERIFY(!item->setEnabled(true));
        QCOMPARE(programArguments(format, readFile(item->entryPath())), QStringList{newPath});
    }

    void missingExecutable_data()
    {
        QTest::addColumn<Format>("format");
        QTest::addColumn<QString>("executable");
        for (const auto& [format, name] : {std::pair{Format::LaunchAgent, "launch agent"},
                                           std::pair{Format::Autostart, "autostart"}}) {
            QTest::addRow("%s, no path", name) << format << QString();
            QTest::addRow("%s, nothing there", name) << format << QStringLiteral("app/gone");
        }
    }
    void missingExecutable()
    {
        QFETCH(Format, format);
        QFETCH(QString, executable);
        m_environment.executablePath = executable.isEmpty() ? QString() : path(executable);
        const auto item = makeItem(format, m_environment);
        const auto failure = item->setEnabled(true);
        QVERIFY(failure);
        QCOMPARE(failure->message(), QStringLiteral("Couldn't find the app on disk."));
        QVERIFY(!item->isEnabled());
        QVERIFY(!QFileInfo::exists(m_environment.homePath)); // not even the folders
    }

    // Some item already at the entry's path: it counts as on. Turning off removes a file or
    // link, but a folder is reported rather than deleted with whatever is in it.
    void anyItemCountsAsOn_data()
    {
        QTest::addColumn<Format>("format");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("removable");
        for (const auto& [format, name] : {std::pair{Format::LaunchAgent, "launch agent"},
                                           std::pair{Format::Autostart, "autostart"}}) {
            QTest::addRow("%s, garbage", name) << format << QStringLiteral("garbage") << true;
            QTest::addRow("%s, dangling link", name) << format << QStringLiteral("link") << true;
            QTest::addRow("%s, folder", name) << format << QStringLiteral("folder") << false;
        }
    }
    void anyItemCountsAsOn()
    {
        QFETCH(Format, format);
        QFETCH(QString, kind);
        QFETCH(bool, removable);
        const auto item = makeItem(format, m_environment);
        const QString entry = item->entryPath();
        QDir().mkpath(QFileInfo(entry).absolutePath());
        if (kind == QLatin1String("garbage"))
            QVERIFY(writeFile(entry, "\x01\xff not an entry"));
        else if (kind == QLatin1String("link"))
            QVERIFY(QFile::link(path(QStringLiteral("nowhere")), entry));
        else
            QVERIFY(QDir().mkpath(entry + QStringLiteral("/keep")));
        QVERIFY(item->isEnabled());

        const auto failure = item->setEnabled(false);
        QCOMPARE(!failure, removable);
        QCOMPARE(item->isEnabled(), !removable);
        if (failure) {
            QVERIFY2(failure->message().contains(entry), qPrintable(failure->message()));
            QVERIFY(QFileInfo::exists(entry + QStringLiteral("/keep")));
        }
    }

    // CI runs as root, so failures are forced with things in the way, not permissions.
    void writeFailures_data()
    {
        QTest::addColumn<Format>("format");
        QTest::addColumn<QString>("fileInTheWay");
        QTest::addColumn<QString>("folderInTheWay");
        QTest::addRow("launch agent, file for a folder above")
            << Format::LaunchAgent << QStringLiteral("home/Library") << QString();
        QTest::addRow("launch agent, file for the folder")
            << Format::LaunchAgent << QStringLiteral("home/Library/LaunchAgents") << QString();
        QTest::addRow("launch agent, folder for the file")
            << Format::LaunchAgent << QString()
            << QStringLiteral("home/Library/LaunchAgents/com.example.tidewatch.plist");
        QTest::addRow("autostart, file for the folder")
            << Format::Autostart << QStringLiteral("home/.config/autostart") << QString();
        QTest::addRow("autostart, folder for the file")
            << Format::Autostart << QString()
            << QStringLiteral("home/.config/autostart/com.example.tidewatch.desktop");
    }
    void writeFailures()
    {
        QFETCH(Format, format);
        QFETCH(QString, fileInTheWay);
        QFETCH(QString, folderInTheWay);
        if (!fileInTheWay.isEmpty())
            QVERIFY(writeFile(path(fileInTheWay), "in the way"));
        if (!folderInTheWay.isEmpty())
            QVERIFY(QDir().mkpath(path(folderInTheWay)));
        const auto item = makeItem(format, m_environment);
        const bool wasEnabled = item->isEnabled();

        const auto failure = item->setEnabled(true);
        QVERIFY(failure);
        QVERIFY(!failure->message().isEmpty());
        QVERIFY(failure->message() != QStringLiteral("Couldn't find the app on disk."));
        QCOMPARE(item->isEnabled(), wasEnabled);
        if (!fileInTheWay.isEmpty())
            QCOMPARE(readFile(path(fileInTheWay)), QByteArray("in the way"));
    }

    void disableBootsOutTheAgent_data()
    {
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<bool>("enabledFirst");
        QTest::addColumn<QByteArray>("extra");
        QTest::addRow("enabled") << QStringLiteral("com.example.tidewatch") << true << QByteArray();
        QTest::addRow("nothing enabled")
            << QStringLiteral("com.example.tidewatch") << false << QByteArray();
        QTest::addRow("no identifier") << QString() << true << QByteArray();
        // More than any pipe holds, on both streams: it must not stall the wait.
        QTest::addRow("chatty launchctl")
            << QStringLiteral("com.example.tidewatch") << true
            << QByteArray("head -c 1000000 /dev/zero\nhead -c 1000000 /dev/zero >&2\n");
    }
    void disableBootsOutTheAgent()
    {
        QFETCH(QString, identifier);
        QFETCH(bool, enabledFirst);
        QFETCH(QByteArray, extra);
        m_environment.identifier = identifier;
        m_environment.launchctlPath = writeLaunchctl(extra);
        LaunchAgentItem item(m_environment);
        if (enabledFirst) {
            QVERIFY(!item.setEnabled(true));
            QVERIFY(!QFileInfo::exists(
                path(QStringLiteral("launchctl.args")))); // enabling runs nothing
        }

        QVERIFY(!item.setEnabled(false)); // its exit status 3 is no error
        QVERIFY(!item.isEnabled());
        const QString label = identifier.isEmpty() ? unknownLabel : identifier;
        const QByteArray expected =
            "bootout\ngui/" + QByteArray::number(::getuid()) + '/' + label.toUtf8() + '\n';
        QCOMPARE(readFile(path(QStringLiteral("launchctl.args"))), expected);
    }
};

QTEST_GUILESS_MAIN(TestLoginItem)
#include "tst_loginitem.moc"
