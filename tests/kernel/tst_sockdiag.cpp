#include "sockdiag.h"

#include <QTest>

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <netinet/tcp.h>

#include <cerrno>
#include <climits>

namespace {

constexpr quint32 sequence = 5;

QByteArray message(quint16 type, const QByteArray& payload, quint16 flags = NLM_F_MULTI,
                   quint32 number = sequence)
{
    const nlmsghdr header{quint32(sizeof(nlmsghdr) + payload.size()), type, flags, number, 0};
    QByteArray out = QByteArray(reinterpret_cast<const char*>(&header), sizeof header) + payload;
    return out.leftJustified(NLMSG_ALIGN(out.size()), '\0');
}

QByteArray socketRow(int family, const char* address, quint16 port, quint32 inode,
                     quint8 state = TCP_LISTEN, quint32 scope = 0)
{
    inet_diag_msg row = {};
    row.idiag_family = quint8(family);
    row.idiag_state = state;
    row.id.idiag_sport = htons(port);
    ::inet_pton(family, address, row.id.idiag_src);
    row.id.idiag_if = scope;
    row.idiag_uid = 1000u + port;
    row.idiag_inode = inode;
    return message(SOCK_DIAG_BY_FAMILY,
                   QByteArray(reinterpret_cast<const char*>(&row), sizeof row));
}

QByteArray errorMessage(quint16 type, int error)
{
    return message(type, QByteArray(reinterpret_cast<const char*>(&error), sizeof error));
}

} // namespace

class TestSockDiag : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parseDatagram_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("expected"); // status, then the sockets, or the errno
        QTest::addColumn<SockDiag::Dump>("dump");
        const auto tcp = SockDiag::Dump::TcpListening;
        const auto udp = SockDiag::Dump::UdpBound;
        const auto established = SockDiag::Dump::TcpEstablished;

        const QByteArray v4 = socketRow(AF_INET, "127.0.0.1", 22, 11);
        const QByteArray done = errorMessage(NLMSG_DONE, 0);
        QTest::addRow("both families; other states and inode 0 left out")
            << v4 + socketRow(AF_INET6, "fe80::1", 631, 12, TCP_LISTEN, 1) +
                   socketRow(AF_INET, "0.0.0.0", 80, 13, TCP_ESTABLISHED) +
                   socketRow(AF_INET, "0.0.0.0", 81, 0) + message(NLMSG_NOOP, {}) + done
            << QStringLiteral("done 11 22 1022 127.0.0.1|12 631 1631 fe80::1%lo") << tcp;
        QTest::addRow("no end yet")
            << socketRow(AF_INET6, "::", 8080, 14) << QStringLiteral("more 14 8080 9080 ::") << tcp;
        QTest::addRow("refused") << v4 + errorMessage(NLMSG_ERROR, -EPERM)
                                 << QStringLiteral("failed %1").arg(EPERM) << tcp;
        QTest::addRow("broke off") << v4 + errorMessage(NLMSG_DONE, -EINTR)
                                   << QStringLiteral("failed %1").arg(EINTR) << tcp;
        QTest::addRow("acknowledged")
            << errorMessage(NLMSG_ERROR, 0) << QStringLiteral("failed 0") << tcp;
        QTest::addRow("no errno") << errorMessage(NLMSG_ERROR, INT_MIN)
                                  << QStringLiteral("failed 0") << tcp;
        QTest::addRow("out of sequence")
            << v4 + message(NLMSG_DONE, QByteArray(4, '\0'), 0, sequence + 1)
            << QStringLiteral("failed 0") << tcp;
        QTest::addRow("interrupted") << message(NLMSG_DONE, QByteArray(4, '\0'), NLM_F_DUMP_INTR)
                                     << QStringLiteral("failed 0") << tcp;
        QTest::addRow("empty") << QByteArray() << QStringLiteral("failed 0") << tcp;
        QTest::addRow("header cut short")
            << v4 + done.left(10) << QStringLiteral("failed 0") << tcp;
        QTest::addRow("length past the end")
            << v4.left(v4.size() - 4) << QStringLiteral("failed 0") << tcp;
        QTest::addRow("done without its errno")
            << message(NLMSG_DONE, QByteArray(2, '\0')) << QStringLiteral("failed 0") << tcp;
        QTest::addRow("socket cut short") << message(SOCK_DIAG_BY_FAMILY, QByteArray(40, '\0'))
                                          << QStringLiteral("failed 0") << tcp;
        QTest::addRow("unknown family")
            << QByteArray(v4).replace(sizeof(nlmsghdr), 1, QByteArray(1, AF_UNIX))
            << QStringLiteral("failed 0") << tcp;
        QTest::addRow("unexpected type")
            << message(RTM_NEWLINK, QByteArray(16, '\0')) << QStringLiteral("failed 0") << tcp;
        QTest::addRow("UDP: unconnected only")
            << socketRow(AF_INET, "0.0.0.0", 5353, 15, TCP_CLOSE) +
                   socketRow(AF_INET, "127.0.0.1", 40000, 16, TCP_ESTABLISHED) +
                   socketRow(AF_INET6, "::", 53, 0, TCP_CLOSE) +
                   socketRow(AF_INET, "0.0.0.0", 22, 17) + done
            << QStringLiteral("done 15 5353 6353 0.0.0.0u") << udp;
        QTest::addRow("UDP refused")
            << errorMessage(NLMSG_ERROR, -ENOENT) << QStringLiteral("failed %1").arg(ENOENT) << udp;
        QTest::addRow("UDP cut short") << socketRow(AF_INET, "0.0.0.0", 53, 18, TCP_CLOSE).left(60)
                                       << QStringLiteral("failed 0") << udp;
        QTest::addRow("established: one not accepted yet counts")
            << socketRow(AF_INET, "127.0.0.1", 80, 0, TCP_ESTABLISHED) +
                   socketRow(AF_INET, "0.0.0.0", 80, 19) + done
            << QStringLiteral("done 0 80 1080 127.0.0.1") << established;
        QTest::addRow("established: interrupted")
            << socketRow(AF_INET, "127.0.0.1", 80, 0, TCP_ESTABLISHED) +
                   message(NLMSG_DONE, QByteArray(4, '\0'), NLM_F_DUMP_INTR)
            << QStringLiteral("failed 0") << established;
    }
    void parseDatagram()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(QString, expected);
        QFETCH(SockDiag::Dump, dump);
        QStringList rows;
        const SockDiag::Progress progress = SockDiag::parseDatagram(
            datagram, sequence, dump, [&rows](quint64 inode, const ListeningSocket& socket) {
                rows << QString::asprintf("%llu %u %u ", inode, socket.port, socket.uid) +
                            addressText(socket.address) + (socket.udp ? u"u" : u"");
            });
        rows.sort();
        const bool failed = progress.status == SockDiag::Progress::Status::Failed;
        const char* const status[] = {"more ", "done ", "failed "};
        QCOMPARE(QLatin1String(status[int(progress.status)]) +
                     (failed ? QString::number(progress.error) : rows.join(u'|')),
                 expected);
        QCOMPARE(progress.reason.isEmpty(), !failed);
    }
};

QTEST_GUILESS_MAIN(TestSockDiag)
#include "tst_sockdiag.moc"
