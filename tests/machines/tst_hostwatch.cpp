#include "remotemachines.h"
#include "standinssh.h"

#include <QTcpSocket>

#include <optional>

using namespace std::chrono_literals;

namespace {

QString describe(const RemoteSection& section)
{
    switch (section.state) {
    case RemoteSection::State::Connecting:
        return QStringLiteral("connecting");
    case RemoteSection::State::Listed:
        return QStringLiteral("listed %1").arg(section.ports.size());
    case RemoteSection::State::Unreachable:
        break;
    }
    return (section.lost ? QStringLiteral("lost: ") : QStringLiteral("unreachable: ")) +
           section.reason;
}

} // namespace

class TestHostWatch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void retryDelays_data()
    {
        QTest::addColumn<int>("failures");
        QTest::addColumn<int>("seconds");
        for (const auto& [failures, seconds] :
             {std::pair(0, 5), {1, 5}, {2, 10}, {3, 20}, {4, 40}, {5, 60}, {64, 60}})
            QTest::addRow("%d", failures) << failures << seconds;
    }
    void retryDelays()
    {
        QFETCH(int, failures);
        QFETCH(int, seconds);
        QCOMPARE(retryDelay(failures), std::chrono::seconds(seconds));
    }

    // Each machine's states as they come, over one kept connection in the folder given.
    void states_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("states"); // one after another, "|" between
        QTest::addRow("answers") << "up" << "listed 1";
        QTest::addRow("can't be reached")
            << "down" << "unreachable: ssh: connect to host down port 22: Connection refused";
        QTest::addRow("an option for a host") << "-oProxyCommand=x"
                                              << "unreachable: not a host name: \"-oProxyCommand=x\"";
        QTest::addRow("answers, then the connection is lost")
            << "flaky" << "listed 1|lost: Connection closed by 10.0.0.9 port 22";
    }
    void states()
    {
        QFETCH(QString, host);
        QFETCH(QString, states);
        const StandInSsh ssh;
        auto machines = std::make_unique<RemoteMachines>(
            SshSetup{ssh.program(), QStringLiteral("/run/tw")});
        machines->setHosts({host});
        QCOMPARE(describe(machines->sections().value(0)), QStringLiteral("connecting"));
        for (const QString& state : states.split(u'|'))
            QTRY_COMPARE_WITH_TIMEOUT(describe(machines->sections().value(0)), state, 8000);
        if (host == u"up") {
            QVERIFY(ssh.calls().contains(u"-o ControlMaster=auto -o ControlPath=/run/tw/%C -o "
                                         "ControlPersist=60"));
            machines->forward(host, machines->sections().value(0).ports.constFirst());
            QTRY_VERIFY(ssh.forwardRuns());
        }
        // Let go, or at the end, a machine's kept connection is closed and its forwards end.
        if (host == u"up")
            machines.reset();
        else
            machines->setHosts({});
        QVERIFY(ssh.calls().endsWith(u"-o ControlPath=/run/tw/%C -O exit -- " + host + u'\n'));
        QVERIFY(!ssh.forwardRuns());
    }

    // The real ssh and sshd (ssh_forward.sh sets them up): a page fetched through the forward
    // of the machine's port 8000. The script then finds no ssh of ours left.
    void realSsh()
    {
        const QString host = qEnvironmentVariable("REAL_SSH_HOST");
        if (host.isEmpty())
            QSKIP("needs an sshd: run by ssh_forward.sh");
        auto machines = std::make_unique<RemoteMachines>(
            SshSetup{QStringLiteral("ssh"), qEnvironmentVariable("REAL_SSH_CONTROL")});
        machines->setHosts({host});
        const auto web = [&] {
            const QList<ListeningPort> ports = machines->sections().value(0).ports;
            const auto it = std::find_if(ports.cbegin(), ports.cend(),
                                         [](const auto& port) { return port.port() == 8000; });
            return it == ports.cend() ? std::nullopt : std::optional(*it);
        };
        QTRY_VERIFY_WITH_TIMEOUT(web(), 20000);
        machines->forward(host, *web());
        const auto page = [&] {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost,
                                 machines->sections().value(0).forwards.value(8000).localPort);
            if (!socket.waitForConnected(2000) || socket.write("GET / HTTP/1.0\r\n\r\n") < 0)
                return QByteArray();
            while (socket.waitForReadyRead(2000)) {
            }
            return socket.readAll();
        };
        QTRY_VERIFY_WITH_TIMEOUT(page().contains("through the forward"), 20000);
        // As at quit.
        machines.reset();
    }
};

QTEST_MAIN(TestHostWatch)
#include "tst_hostwatch.moc"
