#include "freeresult.h"
#include "restartcause.h"
#include "scriptname.h"

#include <QHash>
#include <QTest>

namespace {

// Processes as rows "pid parent start program [s] [unit=U] [userunit=U] [uid=N] [ct=ID]",
// separated by ';'. "s": the process leads its session.
class FedTable final : public ProcessTable
{
public:
    explicit FedTable(const QString& rows)
    {
        for (const QString& row : rows.split(u';', Qt::SkipEmptyParts)) {
            const QStringList fields = row.split(u' ', Qt::SkipEmptyParts);
            LineageProcess process;
            process.pid = fields.at(0).toInt();
            process.parentPid = fields.at(1).toInt();
            process.startTime = fields.at(2).toULongLong();
            process.program = fields.at(3);
            for (const QString& flag : fields.mid(4)) {
                const QString value = flag.section(u'=', 1);
                if (flag == u"s")
                    process.session = process.pid;
                else if (flag.startsWith(u"unit=") || flag.startsWith(u"userunit="))
                    process.unit = value, process.userUnit = flag.startsWith(u"user");
                else if (flag.startsWith(u"uid="))
                    process.uid = value.toUInt();
                else if (flag.startsWith(u"ct="))
                    process.container = value;
            }
            m_rows.insert(process.pid, process);
        }
    }
    std::optional<LineageProcess> read(qint32 pid) const override
    {
        return m_rows.contains(pid) ? std::optional(m_rows.value(pid)) : std::nullopt;
    }

private:
    QHash<qint32, LineageProcess> m_rows;
};

// A terminal's shell under a login, as most rows have it.
const QByteArray login = "1 0 1 systemd; 800 1 2 sshd; 900 800 3 bash s;";

} // namespace

// Who restarted a port's owner, from the lineage of the old owner (pid 4242) taken before it
// was ended and of the new one (pid 4250) afterwards; `after` is the table then, when it
// changed.
class TestRestartCause : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cause_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("line");
        const auto row = [](const char* name, const QByteArray& before, const QByteArray& after,
                            const char* line) {
            QTest::addRow("%s", name) << QString::fromLatin1(before) << QString::fromLatin1(after)
                                      << QString::fromUtf8(line);
        };
        const char* const again = "8080: listening again: pid 4250 (node)";
        row("nodemon under npm",
            login + "4000 900 4 npm; 4100 4000 5 nodemon; 4242 4100 10 node;"
                    "4250 4100 20 node",
            {}, "8080: listening again: pid 4250 (node), started by nodemon (pid 4100)");
        row("shell loop, a new wrapper each time",
            login + "4100 900 5 loop.sh; 4200 4100 9 sh; 4242 4200 10 node; 4210 4100 19 sh;"
                    "4250 4210 20 node",
            {}, "8080: listening again: pid 4250 (node), started by loop.sh (pid 4100)");
        row("started again in the same shell", login + "4242 900 10 node; 4250 900 20 node", {},
            again);
        row("daemons under pid 1", "1 0 1 init; 4242 1 10 node; 4250 1 20 node", {}, again);
        row("a user's manager starts two units",
            "1 0 1 systemd; 1200 1 2 systemd; 4242 1200 10 node userunit=a.service;"
            "4250 1200 20 node userunit=b.service",
            {}, again);
        row("the same unit, before its supervisor",
            "1 0 1 systemd; 4100 1 5 pm2 unit=vite.service; 4242 4100 10 node unit=vite.service;"
            "4250 4100 20 node unit=vite.service",
            {}, "8080: listening again: pid 4250 (node), restarted by unit vite.service");
        row("user units of the same name, two users",
            "1 0 1 systemd; 4242 1 10 node userunit=vite.service uid=1000;"
            "4250 1 20 node userunit=vite.service uid=1001",
            {}, again);
        row("the same container",
            "1 0 1 systemd; 4242 1 10 node ct=3f2a9c81e0d4; 4250 1 20 node ct=3f2a9c81e0d4", {},
            "8080: listening again: pid 4250 (node), restarted by container 3f2a9c81e0d4");
        row("the supervisor's pid reused since", login + "4100 900 5 nodemon; 4242 4100 10 node",
            login + "4100 900 15 nodemon; 4250 4100 20 node", again);
        row("a parent younger than its child took a freed pid",
            login + "4100 900 50 nodemon; 4242 4100 10 node; 4250 4100 60 node", {}, again);
    }
    void cause()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        const auto old = readLineage(FedTable(before), 4242, 10);
        const auto now = readLineage(FedTable(after.isEmpty() ? before : after), 4250);
        QVERIFY(old && now);
        FreeResult result;
        result.port = 8080;
        result.state = FreeResult::State::ListeningAgain;
        result.pid = 4250;
        result.program = now->process.program;
        result.cause = findRestartCause(*old, *now);
        QTEST(freeResultLine(result), "line");
    }

    void scriptName_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("commandLine");
        QTest::addColumn<QByteArray>("script");
        QTest::newRow("node runs nodemon")
            << QByteArray("node") << QByteArray("node\0/usr/bin/nodemon\0app.js\0", 29)
            << QByteArray("nodemon");
        QTest::newRow("versioned python")
            << QByteArray("python3.11") << QByteArray("python3\0./serve.py\0", 19)
            << QByteArray("serve.py");
        QTest::newRow("a module, no script")
            << QByteArray("python3") << QByteArray("python3\0-m\0http.server\0", 23)
            << QByteArray();
        QTest::newRow("no interpreter")
            << QByteArray("nodered") << QByteArray("nodered\0flows.json\0", 19) << QByteArray();
        QTest::newRow("argument cut by the read")
            << QByteArray("bash") << QByteArray("bash\0./lo", 9) << QByteArray();
    }
    void scriptName()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, commandLine);
        QTEST(::scriptName(command, commandLine), "script");
    }
};

QTEST_GUILESS_MAIN(TestRestartCause)
#include "tst_restartcause.moc"
