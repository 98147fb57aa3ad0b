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
