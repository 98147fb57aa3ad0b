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
const QString notFound = QStringLiteral("Couldn't find the app on disk.");

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

// A launch agent read back with an XML reader, element by element: "key Label",
// "string com.example.tidewatch", "true ", "array" and so on.
QStringList plistElements(const QByteArray& bytes)
{
    QStringList elements;
    QXmlStreamReader xml(bytes);
    while (xml.readNext() != QXmlStreamReader::Invalid && !xml.atEnd()) {
        const QString name = xml.name().toString();
        if (!xml.isStartElement() || name == QLatin1String("plist") ||
            name == QLatin1String("dict"))
            continue;
        elements.append(name == QLatin1String("array") ? name
                                                       : name + u' ' + xml.readElementText());
    }
    return xml.hasError() ? QStringList() : elements;
}

// The program an entry starts, read back by the format's own rules.
QStringList programArguments(Format format, const QByteArray& entry)
{
    if (format == Format::LaunchAgent) {
        const QStringList elements = plistElements(entry);
        const qsizetype at = elements.indexOf(QStringLiteral("key ProgramArguments"));
        if (at < 0 || elements.value(at + 1) != QLatin1String("array"))
            return {};
        return {elements.value(at + 2).mid(7)}; // "string "
    }
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

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_environment = {};
        m_environment.identifier = QStringLiteral("com.example.tidewatch");
        m_environment.homePath = path(QStringLiteral("home"));
        // Every character that either format must quote or escape, so each test that reads
        // an entry back also checks the round trip.
        m_environment.executablePath =
            path(QStringLiteral("My Apps/Tide \"watch\" 'x' back\\slash $HOME `id` $(id) 100% %U "
                                "a=b;c&d|e<f>g*h?i#j~k\ttab\nnewline Grüße ☃ &amp;"));
        // A missing launchctl is no error either.
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
        QTest::addRow("autostart, relative config folder is ignored")
            << Format::Autostart << id << QStringLiteral("cfg")
            << QStringLiteral("home/.config/autostart/") + id + QStringLiteral(".desktop");
        QTest::addRow("autostart, XDG_CONFIG_HOME, no identifier")
            << Format::Autostart << QString() << QStringLiteral("/cfg")
            << QStringLiteral("/cfg/autostart/") + unknownLabel + QStringLiteral(".desktop");
    }
    void entryPath()
    {
        QFETCH(Format, format);
        QFETCH(QString, identifier);
        QFETCH(QString, configHome);
        QFETCH(QString, expected); // relative to the test's folder
        m_environment.identifier = identifier;
        m_environment.configHome = configHome;
        const auto item = makeItem(format, m_environment);
        QCOMPARE(item->label(), identifier.isEmpty() ? unknownLabel : identifier);
        QCOMPARE(item->entryPath(), QDir(m_dir->path()).filePath(expected));
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
        auto item = makeItem(format, m_environment);
        QVERIFY(!item->setEnabled(false)); // off stays off, quietly
        QVERIFY(!item->isEnabled());

        QVERIFY(!QFileInfo::exists(m_environment.homePath)); // folders are made as needed
        QVERIFY(!item->setEnabled(true));
        QVERIFY(item->isEnabled());
        const QByteArray first = readFile(item->entryPath());
        QCOMPARE(programArguments(format, first), QStringList{m_environment.executablePath});
        QVERIFY(!item->setEnabled(true));
        QCOMPARE(readFile(item->entryPath()), first);

        // A moved program is written anew; nobody looks inside to tell on from off.
        const QString oldPath = m_environment.executablePath;
        m_environment.executablePath = path(QStringLiteral("moved"));
        QVERIFY(QFile::rename(oldPath, m_environment.executablePath));
        item = makeItem(format, m_environment);
        QVERIFY(item->isEnabled());
        QVERIFY(!item->setEnabled(true));
        QCOMPARE(programArguments(format, readFile(item->entryPath())),
                 QStringList{m_environment.executablePath});

        QVERIFY(!item->setEnabled(false));
        QVERIFY(!item->isEnabled());
        QVERIFY(!QFileInfo::exists(item->entryPath()));
    }

    void launchAgentHasExactlyFourEntries()
    {
        m_environment.identifier.clear();
        LaunchAgentItem item(m_environment);
        QVERIFY(!item.setEnabled(true));
        QCOMPARE(plistElements(readFile(item.entryPath())),
                 (QStringList{QStringLiteral("key KeepAlive"), QStringLiteral("false "),
                              QStringLiteral("key Label"), QStringLiteral("string ") + unknownLabel,
                              QStringLiteral("key ProgramArguments"), QStringLiteral("array"),
                              QStringLiteral("string ") + m_environment.executablePath,
                              QStringLiteral("key RunAtLoad"), QStringLiteral("true ")}));
    }

    // One change with something in the way. CI runs as root, so failures are forced with
    // things in the way, not permissions. Any item at the entry's path counts as on; turning
    // off removes a file or link, but a folder is reported rather than deleted with its contents.
    void obstacles_data()
    {
        QTest::addColumn<Format>("format");
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<bool>("enable");
        QTest::addColumn<QString>("failure"); // how the message starts; empty: success
        QTest::addRow("no app path")
            << Format::LaunchAgent << QStringLiteral("no app path") << true << notFound;
        QTest::addRow("app gone") << Format::Autostart << QStringLiteral("app gone") << true
                                  << notFound;
        QTest::addRow("file for a folder above")
            << Format::LaunchAgent << QStringLiteral("file above") << true
            << QStringLiteral("Couldn't create the folder");
        QTest::addRow("folder for the entry, on") << Format::Autostart << QStringLiteral("folder")
                                                  << true << QStringLiteral("Couldn't write");
        QTest::addRow("folder for the entry, off") << Format::Autostart << QStringLiteral("folder")
                                                   << false << QStringLiteral("Couldn't remove");
        QTest::addRow("garbage entry, off")
            << Format::LaunchAgent << QStringLiteral("garbage") << false << QString();
        QTest::addRow("dangling link, off")
            << Format::Autostart << QStringLiteral("link") << false << QString();
    }
    void obstacles()
    {
        QFETCH(Format, format);
        QFETCH(QString, obstacle);
        QFETCH(bool, enable);
        QFETCH(QString, failure);
        const QString entry = makeItem(format, m_environment)->entryPath();
        const QString folderAbove = path(QStringLiteral("home/Library"));
        if (obstacle == QLatin1String("no app path"))
            m_environment.executablePath.clear();
        else if (obstacle == QLatin1String("app gone"))
            QVERIFY(QFile::remove(m_environment.executablePath));
        else if (obstacle == QLatin1String("file above"))
            QVERIFY(writeFile(folderAbove, "in the way"));
        else if (obstacle == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(entry + QStringLiteral("/keep")));
        else if (obstacle == QLatin1String("garbage"))
            QVERIFY(writeFile(entry, "\x01\xff not an entry"));
        else
            QVERIFY(QDir().mkpath(QFileInfo(entry).absolutePath()) &&
                    QFile::link(path(QStringLiteral("nowhere")), entry));
        const auto item = makeItem(format, m_environment);
        const bool wasEnabled = item->isEnabled();
        QCOMPARE(wasEnabled, !enable || obstacle == QLatin1String("folder"));

        const auto result = item->setEnabled(enable);
        QCOMPARE(result.has_value(), !failure.isEmpty());
        if (result)
            QVERIFY2(result->message().startsWith(failure), qPrintable(result->message()));
        QCOMPARE(item->isEnabled(), result ? wasEnabled : enable);
        if (obstacle == QLatin1String("folder"))
            QVERIFY(QFileInfo::exists(entry + QStringLiteral("/keep")));
        if (obstacle == QLatin1String("file above"))
            QCOMPARE(readFile(folderAbove), QByteArray("in the way"));
        if (failure == notFound)
            QVERIFY(!QFileInfo::exists(m_environment.homePath)); // not even the folders
    }

    void disableBootsOutTheAgent_data()
    {
        QTest::addColumn<bool>("enabledFirst");
        QTest::addColumn<QByteArray>("extra");
        QTest::addRow("nothing enabled") << false << QByteArray();
        // More than any pipe holds, on both streams: it must not stall the wait.
        QTest::addRow("enabled, chatty launchctl")
            << true << QByteArray("head -c 1000000 /dev/zero\nhead -c 1000000 /dev/zero >&2\n");
    }
    void disableBootsOutTheAgent()
    {
        QFETCH(bool, enabledFirst);
        QFETCH(QByteArray, extra);
        // Records its arguments, one a line, and fails.
        const QString args = path(QStringLiteral("launchctl.args"));
        m_environment.launchctlPath = path(QStringLiteral("bin/launchctl"));
        QVERIFY(writeFile(m_environment.launchctlPath,
                          "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" +
                              QFile::encodeName(args) + "'\n" + extra + "exit 3\n",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        LaunchAgentItem item(m_environment);
        if (enabledFirst) {
            QVERIFY(!item.setEnabled(true));
            QVERIFY(!QFileInfo::exists(args)); // enabling runs nothing
        }

        QVERIFY(!item.setEnabled(false)); // its exit status 3 is no error
        QVERIFY(!item.isEnabled());
        QCOMPARE(readFile(args),
                 "bootout\ngui/" + QByteArray::number(::getuid()) + "/com.example.tidewatch\n");
    }
};

QTEST_GUILESS_MAIN(TestLoginItem)
#include "tst_loginitem.moc"
