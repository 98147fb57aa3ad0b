#include "lsofsource.h"
#include "procnetsource.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

namespace {

QString describe(const QList<ListeningPort>& ports)
{
    QStringList out;
    for (const ListeningPort& port : ports)
        out << QStringLiteral("%1 %2 %3").arg(port.port()).arg(port.pid()).arg(port.processName());
    return out.join(QLatin1Char('|'));
}

const QByteArray tcpHeader =
    "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout "
    "inode\n";

QByteArray tcpRow(const char* local, const char* state, const char* inode)
{
    return QByteArray("   0: ") + local + " 00000000:0000 " + state +
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

// Writes a whole /proc of our own making from a short description:
//   "tcp INODE:PORT ... | PID STARTTIME NAME FD=INODE|null ... | ..."
// Every listed socket listens (IPv4). Each process directory holds the same number of
// entries in both trees of a test, so its descriptor count reads the same.
bool writeTree(const QString& root, const QString& description)
{
    QDir dir(root);
    if (!dir.removeRecursively() || !QDir().mkpath(root + QStringLiteral("/net")) ||
        !QDir().mkpath(root + QStringLiteral("/self/fd")) ||
        !QFile::link(QStringLiteral("/dev/null"), root + QStringLiteral("/self/fd/0")))
        return false;
    const QStringList sections = description.split(QLatin1Char('|'));
    QByteArray tcp = tcpHeader;
    for (const QString& socket :
         sections.first().split(QLatin1Char(' '), Qt::SkipEmptyParts).mid(1)) {
        const QStringList parts = socket.split(QLatin1Char(':'));
        const QByteArray local =
            "0100007F:" + QByteArray::number(parts[1].toInt(), 16).toUpper().rightJustified(4, '0');
        tcp += tcpRow(local.constData(), "0A", parts[0].toLatin1().constData());
    }
    QFile table(root + QStringLiteral("/net/tcp"));
    if (!table.open(QIODevice::WriteOnly) || table.write(tcp) != tcp.size())
        return false;
    for (const QString& section : sections.mid(1)) {
        const QStringList parts = section.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const QString folder = root + QLatin1Char('/') + parts[0];
        if (!QDir().mkpath(folder + QStringLiteral("/fd")))
            return false;
        QFile stat(folder + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::WriteOnly) ||
            stat.write(::stat(parts[0].toInt(), parts[2].toLatin1(), parts[1].toULongLong())) < 0)
            return false;
        for (const QString& descriptor : parts.mid(3)) {
            const QStringList link = descriptor.split(QLatin1Char('='));
            const QString target = link[1] == QLatin1String("null")
                                       ? QStringLiteral("/dev/null")
                                       : QStringLiteral("socket:[%1]").arg(link[1]);
            if (!QFile::link(target, folder + QStringLiteral("/fd/") + link[0]))
                return false;
        }
    }
    return true;
}

// A listening socket of this process, closed on exec so that no lister we start inherits
// it and shows up as its owner.
class Listener
{
public:
    Listener(int family, quint16 port, bool reusePort)
        : m_fd(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        const int on = 1;
        if (reusePort)
            ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
        sockaddr_storage storage{};
        socklen_t length = 0;
        if (family == AF_INET6) {
            ::setsockopt(m_fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
            auto* address = reinterpret_cast<sockaddr_in6*>(&storage);
            address->sin6_family = AF_INET6;
            address->sin6_addr = in6addr_loopback;
            address->sin6_port = htons(port);
            length = sizeof *address;
        } else {
            auto* address = reinterpret_cast<sockaddr_in*>(&storage);
            address->sin_family = AF_INET;
            address->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address->sin_port = htons(port);
            length = sizeof *address;
        }
        auto* address = reinterpret_cast<sockaddr*>(&storage);
        if (m_fd < 0 || ::bind(m_fd, address, length) != 0 || ::listen(m_fd, 4) != 0 ||
            ::getsockname(m_fd, address, &length) != 0)
            return;
        m_port = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port
                                          : reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
    }
    ~Listener()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    // 0 when it could not listen.
    quint16 port() const { return m_port; }

private:
    int m_fd;
    quint16 m_port = 0;
};

} // namespace

class TestProcNetSource : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_root;

    void write(const QString& path, const QByteArray& content)
    {
        QDir().mkpath(QFileInfo(m_root.filePath(path)).path());
        QFile file(m_root.filePath(path));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    void link(const QString& path, const QString& target)
    {
        QDir().mkpath(QFileInfo(m_root.filePath(path)).path());
        QVERIFY(QFile::link(target, m_root.filePath(path)));
    }

    std::unique_ptr<QProcess> startHolder(const QByteArray& name, quint16 port, bool reusePort)
    {
        auto holder = std::make_unique<QProcess>();
        QStringList arguments{QString::fromLatin1(name.toHex()), QString::number(port)};
        if (reusePort)
            arguments << QStringLiteral("reuseport");
        holder->start(QStringLiteral(PORTHOLDER_PATH), arguments);
        if (!holder->waitForReadyRead(10000))
            return nullptr;
        return holder;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_root.isValid()); }

    void parseTable_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QString>("sockets"); // "inode:port" in inode order

        QTest::addRow("listening v4")
            << tcpHeader + tcpRow("0100007F:1F90", "0A", "4242") << QStringLiteral("4242:8080");
        QTest::addRow("listening v6")
            << tcpHeader + tcpRow("00000000000000000000000001000000:0016", "0A", "77")
            << QStringLiteral("77:22");
        QTest::addRow("other states skipped")
            << tcpHeader + tcpRow("0100007F:0050", "01", "5") + tcpRow("0100007F:0051", "06", "6")
            << QString();
        QTest::addRow("inode 0 skipped")
            << tcpHeader + tcpRow("0100007F:0050", "0A", "0") << QString();
        QTest::addRow("malformed rows skipped")
            << tcpHeader + "   0: 0100007F:zz 00000000:0000 0A 0 0 0 0 0 9\n" + "garbage\n\n" +
                   tcpRow("0100007F:10000", "0A", "8") + tcpRow("0100007F:FFFF", "0A", "9")
            << QStringLiteral("9:65535");
        QTest::addRow("empty") << QByteArray() << QString();
    }
    void parseTable()
    {
        QFETCH(QByteArray, table);
        QFETCH(QString, sockets);
        ListeningSockets found;
        parseProcNetTcp(table, found);
        QList<quint64> inodes = found.keys();
        std::sort(inodes.begin(), inodes.end());
        QStringList out;
        for (const quint64 inode : inodes)
            out << QStringLiteral("%1:%2").arg(inode).arg(found.value(inode));
        QCOMPARE(out.join(QLatin1Char('|')), sockets);
    }

    // A whole /proc of our own making.
    void walkFakeTree()
    {
        write(QStringLiteral("net/tcp"), tcpHeader + tcpRow("0100007F:1F90", "0A", "1001") +
                                             tcpRow("00000000:0016", "0A", "1002") +
                                             tcpRow("0100007F:0050", "01", "1004"));
        write(QStringLiteral("net/tcp6"),
              tcpHeader + tcpRow("00000000000000000000000001000000:1F90", "0A", "1003"));
        // Both families of one port in one process: one record.
        link(QStringLiteral("100/fd/3"), QStringLiteral("socket:[1001]"));
        link(QStringLiteral("100/fd/4"), QStringLiteral("socket:[1003]"));
        link(QStringLiteral("100/fd/5"), QStringLiteral("/dev/null"));
        link(QStringLiteral("100/fd/6"), QStringLiteral("socket:[1004]"));  // not listening
        link(QStringLiteral("100/fd/7"), QStringLiteral("socket:[99999]")); // not TCP
        link(QStringLiteral("100/fd/8"), QStringLiteral("socket:[1001"));
        write(QStringLiteral("100/stat"), stat(100, "web", 1000));
        // The name comes out as lsof prints it.
        link(QStringLiteral("200/fd/0"), QStringLiteral("socket:[1002]"));
        write(QStringLiteral("200/stat"), stat(200, "ss\th", 1000));
        // A name that itself ends in a newline.
        link(QStringLiteral("201/fd/9"), QStringLiteral("socket:[1002]"));
        write(QStringLiteral("201/stat"), stat(201, "a\n", 1000));
        // Shared with a child after fork, but gone before its name was read.
        link(QStringLiteral("300/fd/1"), QStringLiteral("socket:[1001]"));
        // No descriptors to read: another user's, or gone.
        write(QStringLiteral("400/stat"), stat(400, "hidden", 1000));
        // Not a process.
        link(QStringLiteral("self/fd/3"), QStringLiteral("socket:[1001]"));
        write(QStringLiteral("self/stat"), stat(1, "self", 1000));

        ProcNetSource source(m_root.path());
        const QueryResult result = source.query();
        QVERIFY(result.ok());
        QCOMPARE(describe(result.ports), QStringLiteral("22 200 ss\\th|22 201 a\\n|8080 100 web"));
        // The walk keeps nothing that changes a second answer.
        QCOMPARE(describe(source.query().ports), describe(result.ports));
    }

    void parseStat_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<quint64>("startTime");

        QTest::addRow("plain") << stat(42, "bash", 12345) << true << QByteArray("bash")
                               << quint64(12345);
        QTest::addRow("parentheses and spaces in the name")
            << stat(42, "a) (b ) S 1", 7) << true << QByteArray("a) (b ) S 1") << quint64(7);
        QTest::addRow("newline in the name")
            << stat(42, "a\n", 7) << true << QByteArray("a\n") << quint64(7);
        QTest::addRow("empty name") << stat(42, "", 7) << true << QByteArray() << quint64(7);
        QTest::addRow("largest start time") << stat(42, "x", 9999999999999999999ull) << true
                                            << QByteArray("x") << quint64(9999999999999999999ull);
        QTest::addRow("cut short") << QByteArray("42 (x) S 1 1 1 0 -1 4194560 100 0 0 0 1 2\n")
                                   << false << QByteArray() << quint64(0);
        QTest::addRow("no closing parenthesis")
            << QByteArray("42 (x S 1 1 1") << false << QByteArray() << quint64(0);
        QTest::addRow("start time of 20 digits")
            << stat(42, "x", 1).replace(" 1 1000000 ", " 18446744073709551616 1000000 ") << false
            << QByteArray() << quint64(0);
        QTest::addRow("start time not a number")
            << stat(42, "x", 1).replace(" 1 1000000 ", " -1 1000000 ") << false << QByteArray()
            << quint64(0);

        QFile self(QStringLiteral("/proc/self/stat"));
        QFile comm(QStringLiteral("/proc/self/comm"));
        if (self.open(QIODevice::ReadOnly) && comm.open(QIODevice::ReadOnly)) {
            // The start time is whatever the kernel says; 0 here means "any".
            QTest::addRow("this process")
                << self.readAll() << true << comm.readAll().chopped(1) << quint64(0);
        }
    }
    void parseStat()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, valid);
        QFETCH(QByteArray, name);
        QFETCH(quint64, startTime);
        const auto parsed = parseProcessStat(line);
        QCOMPARE(parsed.has_value(), valid);
        if (!valid)
            return;
        QCOMPARE(parsed->name.toByteArray(), name);
        if (startTime != 0)
            QCOMPARE(parsed->startTime, startTime);
        else
            QVERIFY(parsed->startTime > 0);
    }

    // A second scan that learns from the first gives what a full walk gives, for each
    // kind of change between them, and walks every process only where it must.
    void learnsFromPreviousScan_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("fullWalk");

        const QString web = QStringLiteral("100 1000 web 3=1001 4=null");
        QTest::addRow("exec renames an owner")
            << QStringLiteral("tcp 1001:8080 | ") + web
            << QStringLiteral("tcp 1001:8080 | 100 1000 nginx 3=1001 4=null")
            << QStringLiteral("8080 100 nginx") << false;
        QTest::addRow("pid reused by another process, same count")
            << QStringLiteral("tcp 1001:8080 1002:22 | ") + web +
                   QStringLiteral(" | 200 500 db 3=1002")
            << QStringLiteral(
                   "tcp 1001:8080 1002:22 | 100 2000 other 3=1001 4=1002 | 200 500 db 3=1002")
            << QStringLiteral("22 100 other|22 200 db|8080 100 other") << false;
        QTest::addRow("listener replaced by a file")
            << QStringLiteral("tcp 1001:8080 | ") + web
            << QStringLiteral("tcp 1001:8080 | 100 1000 web 3=null 4=null") << QString() << false;
        QTest::addRow("its number taken by another known listener")
            << QStringLiteral("tcp 1001:8080 1002:22 | ") + web +
                   QStringLiteral(" | 200 500 db 3=1002")
            << QStringLiteral(
                   "tcp 1001:8080 1002:22 | 100 1000 web 3=1002 4=null | 200 500 db 3=1002")
            << QStringLiteral("22 100 web|22 200 db") << false;
        QTest::addRow("new process holding a known listener")
            << QStringLiteral("tcp 1001:8080 | ") + web
            << QStringLiteral("tcp 1001:8080 | ") + web + QStringLiteral(" | 300 3000 child 5=1001")
            << QStringLiteral("8080 100 web|8080 300 child") << false;
        QTest::addRow("owner gone")
            << QStringLiteral("tcp 1001:8080 | ") + web + QStringLiteral(" | 300 3000 child 5=1001")
            << QStringLiteral("tcp 1001:8080 | ") + web << QStringLiteral("8080 100 web") << false;
        QTest::addRow("stops listening, descriptor kept")
            << QStringLiteral("tcp 1001:8080 1002:22 | 100 1000 web 3=1001 4=1002")
            << QStringLiteral("tcp 1001:8080 | 100 1000 web 3=1001 4=1002")
            << QStringLiteral("8080 100 web") << false;
        QTest::addRow("begins to listen in a process whose count stays")
            << QStringLiteral("tcp 1001:8080 | 100 1000 web 3=1001 4=1005")
            << QStringLiteral("tcp 1001:8080 1005:9000 | 100 1000 web 3=1001 4=1005")
            << QStringLiteral("8080 100 web|9000 100 web") << true;
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
        const SocketOwnerWalk::Counts first = source.counts();
        const QueryResult learned = source.query();
        QVERIFY(learned.ok());
        QCOMPARE(describe(learned.ports),
                 describe(ProcNetSource(root, ProcNetSource::Walk::Full).query().ports));
        QCOMPARE(describe(learned.ports), expected);
        const SocketOwnerWalk::Counts second = source.counts();
        QCOMPARE(second.fullWalks - first.fullWalks, quint64(fullWalk ? 1 : 0));
    }

    void missingTables()
    {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QueryResult none = ProcNetSource(root.path()).query();
        QCOMPARE(none.error, QueryError::Unreadable);
        QVERIFY(none.detail.contains(QStringLiteral("net/tcp")));

        // No IPv6 on this machine: no tcp6 table, and that is fine.
        QDir(root.path()).mkpath(QStringLiteral("net"));
        QFile tcp(root.filePath(QStringLiteral("net/tcp")));
        QVERIFY(tcp.open(QIODevice::WriteOnly));
        tcp.write(tcpHeader);
        tcp.close();
        const QueryResult v4only = ProcNetSource(root.path()).query();
        QVERIFY(v4only.ok());
        QVERIFY(v4only.ports.isEmpty());
    }

    // The native source and the real lsof, on sockets this test opens itself.
    void agreesWithLsof()
    {
        const QString lsof = QStringLiteral("/usr/bin/lsof");
        if (!QFileInfo(lsof).isExecutable())
            QSKIP("no /usr/bin/lsof here");

        // IPv4 and IPv6 on one port in this process.
        const Listener v4(AF_INET, 0, false);
        QVERIFY(v4.port() != 0);
        const Listener v6(AF_INET6, v4.port(), false);
        if (v6.port() == 0)
            QSKIP("no IPv6 loopback here");
        // One port shared with another process through SO_REUSEPORT.
        const Listener shared(AF_INET, 0, true);
        QVERIFY(shared.port() != 0);
        const auto sharer = startHolder("tw-sharer", shared.port(), true);
        QVERIFY(sharer);
        // A process with a distinctive name: a tab, a backslash, non-ASCII.
        const auto named = startHolder("tw\tname\\\xc3\xa9", 0, false);
        QVERIFY(named);
        const quint16 namedPort = quint16(named->readAllStandardOutput().trimmed().toUInt());
        QVERIFY(namedPort != 0);

        const QSet<qint64> ours{v4.port(), shared.port(), namedPort};
        const auto mine = [&ours](const QList<ListeningPort>& ports) {
            QList<ListeningPort> out;
            for (const ListeningPort& port : ports) {
                if (ours.contains(port.port()))
                    out << port;
            }
            return out;
        };
        qputenv("LC_ALL", "C.UTF-8"); // lsof then prints printable UTF-8 as is
        const QueryResult fromLsof = LsofSource(lsof).query();
        const QueryResult native = ProcNetSource().query();
        QVERIFY(fromLsof.ok());
        QVERIFY(native.ok());
        const QList<ListeningPort> expected = mine(fromLsof.ports);
        QCOMPARE(describe(mine(native.ports)), describe(expected));

        // And what both report is what the test set up.
        const qint32 self = qint32(::getpid());
        QCOMPARE(expected.size(), 4);
        QCOMPARE(std::count_if(expected.cbegin(), expected.cend(),
                               [&](const ListeningPort& p) { return p.port() == v4.port(); }),
                 1);
        const auto sharedOwners =
            std::count_if(expected.cbegin(), expected.cend(), [&](const ListeningPort& p) {
                return p.port() == shared.port() &&
                       (p.pid() == self || p.pid() == qint32(sharer->processId()));
            });
        QCOMPARE(sharedOwners, 2);
        QVERIFY(expected.contains(ListeningPort(namedPort, qint32(named->processId()),
                                                QStringLiteral("tw\\tname\\\\é"))));

        for (QProcess* holder : {sharer.get(), named.get()}) {
            holder->closeWriteChannel();
            QVERIFY(holder->waitForFinished(5000));
        }
    }
};

QTEST_GUILESS_MAIN(TestProcNetSource)
#include "tst_procnetsource.moc"
