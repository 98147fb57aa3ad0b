#include "commandname.h"
#include "lsofsource.h"
#include "procnetsource.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

QString describe(const QList<ListeningPort>& ports, const QSet<qint32>& only = {})
{
    QStringList out;
    for (const ListeningPort& port : ports) {
        if (only.isEmpty() || only.contains(port.pid()))
            out << QStringLiteral("%1 %2 %3")
                       .arg(port.port())
                       .arg(port.pid())
                       .arg(port.processName());
    }
    return out.join(QLatin1Char('|'));
}

const QByteArray tcpHeader =
    "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout "
    "inode\n";

QByteArray tcpRow(const QByteArray& local, const QByteArray& state, const QByteArray& inode)
{
    return "   0: " + local + " 00000000:0000 " + state +
           " 00000000:00000000 00:00000000 00000000     0        0 " + inode +
           " 1 0000000000000000 100 0 0 10 0\n";
}

// A /proc/<pid>/stat line with the given name and start time (field 22).
QByteArray stat(int pid, const QByteArray& name, quint64 startTime)
{
    return QByteArray::number(pid) + " (" + name +
           ") S 1 1 1 0 -1 4194560 100 0 0 0 1 2 0 0 20 0 1 0 " + QByteArray::number(startTime) +
           " 1000000 100 18446744073709551615 1 1 0 0 0 0 0 0 0 "
           "0 0 0 17 1 0 0 0 0 0 0 0 0 0 0 0 0 0\n";
}

// Writes a /proc of our own making from a short description:
//   "tcp INODE:PORT[:STATE] ... | PID STARTTIME NAME FD=TARGET ... | ..."
// A TARGET of digits is that socket, "null" is /dev/null, anything else the link itself.
// A STARTTIME of "-" leaves the stat file out (the process ended mid-walk); a process
// without descriptors has no fd folder (another user's). Only IPv4 sockets; no tcp6 table.
bool writeTree(const QString& root, const QString& description)
{
    // "self" is no process: the walk must not count its descriptor.
    if (!QDir(root).removeRecursively() || !QDir().mkpath(root + QStringLiteral("/net")) ||
        !QDir().mkpath(root + QStringLiteral("/self/fd")) ||
        !QFile::link(QStringLiteral("socket:[1001]"), root + QStringLiteral("/self/fd/0")))
        return false;
    const QStringList sections = description.split(QLatin1Char('|'));
    QByteArray tcp = tcpHeader;
    for (const QString& socket :
         sections.first().split(QLatin1Char(' '), Qt::SkipEmptyParts).mid(1)) {
        const QStringList parts = socket.split(QLatin1Char(':'));
        const QByteArray local =
            "0100007F:" + QByteArray::number(parts[1].toInt(), 16).toUpper().rightJustified(4, '0');
        tcp += tcpRow(local, parts.size() > 2 ? parts[2].toLatin1() : "0A", parts[0].toLatin1());
    }
    QFile table(root + QStringLiteral("/net/tcp"));
    if (!table.open(QIODevice::WriteOnly) || table.write(tcp) != tcp.size())
        return false;
    for (const QString& section : sections.mid(1)) {
        const QStringList parts = section.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const QString folder = root + QLatin1Char('/') + parts[0];
        if (!QDir().mkpath(parts.size() > 3 ? folder + QStringLiteral("/fd") : folder))
            return false;
        QFile stat(folder + QStringLiteral("/stat"));
        if (parts[1] != QLatin1String("-") &&
            (!stat.open(QIODevice::WriteOnly) ||
             stat.write(::stat(parts[0].toInt(), parts[2].toUtf8(), parts[1].toULongLong())) < 0))
            return false;
        for (const QString& descriptor : parts.mid(3)) {
            const QString fd = descriptor.section(QLatin1Char('='), 0, 0);
            QString target = descriptor.section(QLatin1Char('='), 1);
            if (target == QLatin1String("null"))
                target = QStringLiteral("/dev/null");
            else if (target.toULongLong() != 0)
                target = QStringLiteral("socket:[%1]").arg(target);
            if (!QFile::link(target, folder + QStringLiteral("/fd/") + fd))
                return false;
        }
    }
    return true;
}

// Command names as lsof 4.95 prints them in its -F c field under LC_ALL=C.UTF-8. Each is
// at most 15 bytes, so a process can take it as its own name.
struct Name
{
    const char* what;
    QByteArray raw;
    QByteArray printed;
};
const std::vector<Name> names{
    {"plain, spaces, caret", "   a b^c", "   a b^c"},
    {"tab, newline", "a\tb\n", "a\\tb\\n"},
    {"bs ff cr", "\b\f\r", "\\b\\f\\r"},
    {"other controls as caret",
     "a\x01"
     "b\x1b[\x1f",
     "a^Ab^[[^_"},
    {"DEL, backslash doubled", "\x7f\\x\\", "\\x7f\\\\x\\\\"},
    {"printable UTF-8 kept", "caf\xc3\xa9 \xe2\x82\xac\xf0\x9f\x98\x80",
     "caf\xc3\xa9 \xe2\x82\xac\xf0\x9f\x98\x80"},
    {"combining mark, no-break space", "a\xcc\x81\xc2\xa0", "a\xcc\x81\xc2\xa0"},
    {"C1, unassigned, non-character bytewise", "\xc2\x80\xc2\x9b\xcd\xb8\xef\xbf\xbf",
     "\\xc2\\x80\\xc2\\x9b\\xcd\\xb8\\xef\\xbf\\xbf"},
    {"stray bytes, truncated sequence",
     "a\xff"
     "b\xfe\xc3"
     "b",
     "a\\xffb\\xfe\\xc3b"},
    {"surrogate, overlong, above U+10FFFF", "\xed\xa0\x80\xc0\xaf\xe0\x80\x8a\xf4\x90\x80\x80",
     "\\xed\\xa0\\x80\\xc0\\xaf\\xe0\\x80\\x8a\\xf4\\x90\\x80\\x80"},
};

} // namespace

class TestProcNetSource : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void escape_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QByteArray>("printed");
        for (const Name& name : names)
            QTest::addRow("%s", name.what) << name.raw << name.printed;
    }
    void escape()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QByteArray, printed);
        QCOMPARE(escapeCommandName(raw).toUtf8(), printed);
    }

    void parseTable()
    {
        const QByteArray table =
            tcpHeader + tcpRow("00000000000000000000000001000000:0016", "0A", "77") +
            tcpRow("0100007F:0050", "01", "5") + tcpRow("0100007F:0050", "0A", "0") +
            "   0: 0100007F:zz 00000000:0000 0A 0 0 0 0 0 9\ngarbage\n\n" +
            tcpRow("0100007F:10000", "0A", "8") + tcpRow("0100007F:FFFF", "0A", "9");
        ListeningSockets found;
        parseProcNetTcp(table, found);
        // Only listening rows with an inode and a port that fits count.
        QStringList out;
        for (auto it = found.cbegin(); it != found.cend(); ++it)
            out << QStringLiteral("%1:%2").arg(it.key()).arg(it.value());
        out.sort();
        QCOMPARE(out, QStringList({QStringLiteral("77:22"), QStringLiteral("9:65535")}));
    }

    void parseStat_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<quint64>("startTime"); // 0: rejected

        QTest::addRow("parentheses, spaces and a newline in the name; 19 digits")
            << stat(42, "a) (b\n) S 1", 9999999999999999999ull) << QByteArray("a) (b\n) S 1")
            << quint64(9999999999999999999ull);
        QTest::addRow("start time of 20 digits")
            << stat(42, "x", 1).replace(" 1 1000000 ", " 18446744073709551616 1000000 ")
            << QByteArray() << quint64(0);
        QTest::addRow("cut short") << QByteArray("42 (x) S 1 1 1 0 -1 4194560 100 0 0 0 1 2\n")
                                   << QByteArray() << quint64(0);
        QTest::addRow("no closing parenthesis")
            << QByteArray("42 (x S 1 1 1") << QByteArray() << quint64(0);
    }
    void parseStat()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, name);
        QFETCH(quint64, startTime);
        const auto parsed = parseProcessStat(line);
        QCOMPARE(parsed.has_value(), startTime != 0);
        if (parsed) {
            QCOMPARE(parsed->name.toByteArray(), name);
            QCOMPARE(parsed->startTime, startTime);
        }
    }

    // A second scan that learns from the first gives what a full walk gives, and walks
    // every process again only where it must.
    void learnsFromPreviousScan_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("fullWalk");

        const QString web = QStringLiteral("100 1000 web 3=1001 4=null");
        const QString seen = QStringLiteral(
            "tcp 1001:8080 1002:22 1004:80:01 | 100 1000 web 3=1001 4=null 6=1004 7=99999 "
            "8=socket:[1001 | 200 1000 ss\th 0=1002 | 201 1000 a\n 9=1002 | 300 - gone 1=1001 | "
            "400 1000 hidden");
        QTest::addRow("skips what it cannot see, escapes names")
            << seen << seen << QStringLiteral("22 200 ss\\th|22 201 a\\n|8080 100 web") << false;
        QTest::addRow("pid reused by another process, same count")
            << QStringLiteral("tcp 1001:8080 1002:22 | ") + web +
                   QStringLiteral(" | 200 500 db 3=1002")
            << QStringLiteral(
                   "tcp 1001:8080 1002:22 | 100 2000 other 3=1001 4=1002 | 200 500 db 3=1002")
            << QStringLiteral("22 100 other|22 200 db|8080 100 other") << false;
        QTest::addRow("its number taken by another known listener")
            << QStringLiteral("tcp 1001:8080 1002:22 | ") + web +
                   QStringLiteral(" | 200 500 db 3=1002")
            << QStringLiteral(
                   "tcp 1001:8080 1002:22 | 100 1000 web 3=1002 4=null | 200 500 db 3=1002")
            << QStringLiteral("22 100 web|22 200 db") << false;
        QTest::addRow("stops listening, descriptor kept")
            << QStringLiteral("tcp 1001:8080 1002:22 | 100 1000 web 3=1001 4=1002")
            << QStringLiteral("tcp 1001:8080 | 100 1000 web 3=1001 4=1002")
            << QStringLiteral("8080 100 web") << false;
        QTest::addRow("a known socket's port changes")
            << QStringLiteral("tcp 1001:8080 | ") + web << QStringLiteral("tcp 1001:9090 | ") + web
            << QStringLiteral("9090 100 web") << true;
    }
    void learnsFromPreviousScan()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(QString, expected);
        QFETCH(bool, fullWalk);
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString root = folder.filePath(QStringLiteral("proc"));

        QVERIFY(writeTree(root, before));
        ProcNetSource source(root);
        QVERIFY(source.query().ok());
        QVERIFY(writeTree(root, after));
        const quint64 fullWalks = source.counts().fullWalks;
        const QueryResult learned = source.query();
        QVERIFY(learned.ok());
        QCOMPARE(describe(learned.ports),
                 describe(ProcNetSource(root, ProcNetSource::Walk::Full).query().ports));
        QCOMPARE(describe(learned.ports), expected);
        QCOMPARE(source.counts().fullWalks - fullWalks, quint64(fullWalk ? 1 : 0));
    }

    void missingTable()
    {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QueryResult none = ProcNetSource(root.path()).query();
        QCOMPARE(none.error, QueryError::Unreadable);
        QVERIFY(none.detail.contains(QStringLiteral("net/tcp")));
    }

    // The native source and the real lsof, on sockets of processes this test starts: IPv4
    // and IPv6 on one port in one process, one port shared by two processes through
    // SO_REUSEPORT, and every name of the table above.
    void agreesWithLsof()
    {
        const QString lsof = QStringLiteral("/usr/bin/lsof");
        if (!QFileInfo(lsof).isExecutable())
            QSKIP("no /usr/bin/lsof here");

        std::vector<std::unique_ptr<QProcess>> holders;
        QList<ListeningPort> expected;
        QSet<qint32> pids;
        const auto hold = [&](const QByteArray& raw, const QByteArray& printed, quint16 port,
                              const QString& option = {}) -> quint16 {
            auto& holder = holders.emplace_back(std::make_unique<QProcess>());
            QStringList arguments{QString::fromLatin1(raw.toHex()), QString::number(port)};
            if (!option.isEmpty())
                arguments << option;
            holder->start(QStringLiteral(PORTHOLDER_PATH), arguments);
            if (!holder->waitForReadyRead(10000))
                return 0;
            const quint16 listening = quint16(holder->readAllStandardOutput().trimmed().toUInt());
            expected << ListeningPort(listening, qint32(holder->processId()),
                                      QString::fromUtf8(printed));
            pids << qint32(holder->processId());
            return listening;
        };
        if (hold("tw-dual", "tw-dual", 0, QStringLiteral("dual")) == 0) {
            QVERIFY(holders.back()->waitForFinished(5000));
            QCOMPARE(holders.back()->exitCode(), 3);
            QSKIP("no IPv6 loopback here");
        }
        const quint16 shared = hold("tw-share", "tw-share", 0, QStringLiteral("reuseport"));
        QVERIFY(shared != 0);
        QVERIFY(hold("tw-share", "tw-share", shared, QStringLiteral("reuseport")) == shared);
        for (const Name& name : names)
            QVERIFY2(hold(name.raw, name.printed, 0) != 0, name.what);
        std::sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
            return std::pair(a.port(), a.pid()) < std::pair(b.port(), b.pid());
        });

        qputenv("LC_ALL", "C.UTF-8"); // lsof then prints printable UTF-8 as is
        const QueryResult fromLsof = LsofSource(lsof).query();
        const QueryResult native = ProcNetSource().query();
        QVERIFY(fromLsof.ok() && native.ok());
        QCOMPARE(describe(fromLsof.ports, pids), describe(expected));
        QCOMPARE(describe(native.ports, pids), describe(expected));

        for (const auto& holder : holders) {
            holder->closeWriteChannel();
            QVERIFY(holder->waitForFinished(5000));
        }
    }
};

QTEST_GUILESS_MAIN(TestProcNetSource)
#include "tst_procnetsource.moc"
