#include "portforwards.h"
#include "standinssh.h"

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>

class TestPortForwards : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Where the forward connects there, and what becomes of it.
    void forward_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("udp");
        QTest::addColumn<QString>("target"); // -L's ADDRESS:PORT; empty: nothing started
        QTest::addColumn<QString>("state");
        QTest::addRow("wildcard") << "up" << "0.0.0.0" << false << "127.0.0.1:3000" << "running";
        QTest::addRow("IPv6 wildcard") << "up" << "::" << false << "[::1]:3000" << "running";
        QTest::addRow("own address") << "up" << "10.1.2.3" << false << "10.1.2.3:3000"
                                     << "running";
        QTest::addRow("own IPv6 address") << "up" << "fd00::5" << false << "[fd00::5]:3000"
                                          << "running";
        QTest::addRow("no address") << "up" << "x -oProxyCommand=y" << false << "" << "";
        QTest::addRow("a scope of the other side") << "up" << "fe80::1%eth0" << false << "" << "";
        QTest::addRow("UDP") << "up" << "0.0.0.0" << true << "" << "";
        QTest::addRow("host as option") << "-oProxyCommand=y" << "0.0.0.0" << false << "" << "";
        QTest::addRow("ssh dies") << "gone" << "0.0.0.0" << false << "127.0.0.1:3000"
                                  << "ended: bind [127.0.0.1]:3000: Address already in use; "
                                     "Could not request local forwarding.";
    }
    void forward()
    {
        QFETCH(QString, host);
        QFETCH(QString, address);
        QFETCH(bool, udp);
        QFETCH(QString, target);
        QFETCH(QString, state);
        const StandInSsh ssh;
        PortForwards forwards(ssh.program());
        forwards.start(host, ListeningPort(3000, 7, QStringLiteral("node"), {}, {address}, 0, {},
                                           {}, udp ? ListeningPort::Protocol::Udp
                                                   : ListeningPort::Protocol::Tcp));
        const auto describe = [&] {
            const auto all = forwards.forwardsOf(host);
            if (all.isEmpty())
                return QString();
            return all.value(3000).running ? QStringLiteral("running")
                                           : QStringLiteral("ended: ") + all.value(3000).reason;
        };
        if (state == u"running")
            QTRY_VERIFY(ssh.forwardRuns());
        QTRY_COMPARE(describe(), state);
        if (target.isEmpty()) {
            QVERIFY(ssh.calls().isEmpty());
            return;
        }
        const quint16 local = forwards.forwardsOf(host).value(3000).localPort;
        QCOMPARE(ssh.calls().trimmed(),
                 QStringLiteral("-N -o ExitOnForwardFailure=yes -o BatchMode=yes -o "
                                "ControlPath=none -o ServerAliveInterval=15 -L 127.0.0.1:%1:%2 "
                                "-- %3")
                     .arg(local)
                     .arg(target, host));
    }

    // A port free here is kept, one taken gets another; stopping, and the end of the
    // forwards, leave no ssh.
    void localPortAndEnd()
    {
        const StandInSsh ssh;
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost));
        const quint16 number = taken.serverPort();
        taken.close();
        QCOMPARE(freeLocalPort(number), number);
        QVERIFY(taken.listen(QHostAddress::LocalHost, number));
        const ListeningPort port(taken.serverPort(), 7, QStringLiteral("node"));
        auto forwards = std::make_unique<PortForwards>(ssh.program());
        forwards->start(QStringLiteral("up"), port);
        const ForwardState state = forwards->forwardsOf(QStringLiteral("up")).value(port.port());
        QVERIFY(state.localPort != 0 && state.localPort != taken.serverPort());
        QTRY_VERIFY(ssh.forwardRuns());
        forwards->stop(QStringLiteral("up"), port.port());
        QVERIFY(!ssh.forwardRuns() && forwards->forwardsOf(QStringLiteral("up")).isEmpty());
        forwards->start(QStringLiteral("up"), port);
        QTRY_VERIFY(ssh.forwardRuns());
        forwards.reset();
        QVERIFY(!ssh.forwardRuns());
    }

    // A program that dies at once, forward and all, leaves no ssh.
    void crash()
    {
        const StandInSsh ssh;
        QProcess crashing;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("FORWARD_THEN_DIE"), ssh.program());
        crashing.setProcessEnvironment(environment);
        crashing.start(QCoreApplication::applicationFilePath());
        QVERIFY(crashing.waitForFinished() && crashing.exitStatus() == QProcess::CrashExit);
        QTRY_VERIFY(!ssh.forwardRuns());
    }
};

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (const QString program = qEnvironmentVariable("FORWARD_THEN_DIE"); !program.isEmpty()) {
        PortForwards forwards(program);
        forwards.start(QStringLiteral("up"), ListeningPort(3000, 7, QStringLiteral("node")));
        const QString pid = QFileInfo(program).dir().filePath(QStringLiteral("pid"));
        [[maybe_unused]] const bool started = QTest::qWaitFor([&] { return QFile::exists(pid); });
        ::raise(SIGKILL);
    }
    TestPortForwards test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_portforwards.moc"
