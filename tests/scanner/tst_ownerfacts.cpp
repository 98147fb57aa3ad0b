#include "containernames.h"
#include "ownerfacts.h"
#include "procnetsource.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>

using namespace OwnerFacts;

namespace {

// Command lines are written with '|' between the arguments.
QByteArray arguments(const char* text)
{
    return QByteArray(text).replace('|', '\0');
}

const QByteArray id = "4f2a9c1e8b7d6053a1c2e3f405162738495a6b7c8d9e0f1a2b3c4d5e6f708192";
const QByteArray other = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";

QByteArray reply(const QByteArray& body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

const QByteArray webList = R"([{"Id":"4f2a","Names":["/web"],"NetworkSettings":{"Networks":
    {"bridge":{"IPAddress":"172.17.0.2","GlobalIPv6Address":"fd00::2"}}}},
    {"Names":["/<b>odd</b>"],"NetworkSettings":{"Networks":{"n":{"IPAddress":"172.17.0.3"}}}}])";

// A container engine on a local socket that answers each request with `answer`, in two
// parts to be put together, or keeps silent when it is empty.
struct StandInEngine
{
    explicit StandInEngine(QByteArray answer, bool listening = true) : answer(std::move(answer))
    {
        QObject::connect(&server, &QLocalServer::newConnection, &server, [this] {
            QLocalSocket* socket = server.nextPendingConnection();
            ++connections;
            if (this->answer.isEmpty())
                return;
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
                if (!socket->readAll().contains("GET /containers/json HTTP/1.1\r\n"))
                    return;
                socket->write(this->answer.left(this->answer.size() / 2));
                socket->flush();
                QTimer::singleShot(20, socket, [this, socket] {
                    socket->write(this->answer.mid(this->answer.size() / 2));
                    socket->disconnectFromServer();
                });
            });
        });
        if (listening)
            server.listen(path());
    }
    QString path() const { return dir.filePath(QStringLiteral("docker.sock")); }

    QTemporaryDir dir;
    QLocalServer server;
    const QByteArray answer;
    int connections = 0;
};

} // namespace

// What a port's owner is, beyond its command name: the whole program name, the unit or
// container from its cgroup, a port proxy's target and the engine's names for it.
class TestOwnerFacts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wholeName_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("commandLine");
        QTest::addColumn<QByteArray>("executable");
        QTest::addColumn<QByteArray>("whole");

        QTest::addRow("uncut name as it is")
            << QByteArray("nginx") << arguments("nginx: master process|") << QByteArray()
            << QByteArray("nginx");
        QTest::addRow("cut, the first argument's base name")
            << QByteArray("a very long pro") << arguments("/opt/x/a very long program|-v")
            << QByteArray("/opt/x/other") << QByteArray("a very long program");
        QTest::addRow("cut, a title holding a slash")
            << QByteArray("gunicorn: worke") << arguments("gunicorn: worker [app/wsgi]")
            << QByteArray("/usr/bin/python3.11") << QByteArray("gunicorn: worker [app/wsgi]");
        QTest::addRow("cut, the deleted executable's base name")
            << QByteArray("kube-controller") << arguments("kcm|--leader")
            << QByteArray("/usr/bin/kube-controller-manager (deleted)")
            << QByteArray("kube-controller-manager");
        QTest::addRow("cut, nothing begins with it")
            << QByteArray("my-long-script-") << arguments("/usr/bin/python3|my-long-script-x")
            << QByteArray("/usr/bin/python3.11") << QByteArray();
        QTest::addRow("cut, longer than any file name")
            << QByteArray(15, 'a') << QByteArray(300, 'a') << QByteArray() << QByteArray();
    }
    void wholeName()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, commandLine);
        QFETCH(QByteArray, executable);
        QTEST(wholeProgramName(name, commandLine, executable), "whole");
    }

    void cgroup_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("container");
        const QString shortId = QString::fromLatin1(id.left(12));

        QTest::addRow("system service") << QByteArray("0::/system.slice/nginx.service\n")
                                        << QStringLiteral("nginx.service") << QString();
        QTest::addRow("user service, template and escapes")
            << QByteArray("0::/user.slice/user-1000.slice/user@1000.service/app.slice/"
                          "app-x\\x2dy@bar.service\n")
            << QStringLiteral("app-x\\x2dy@bar.service") << QString();
        QTest::addRow("service's own sub-group")
            << QByteArray("0::/system.slice/php-fpm.service/pool\n")
            << QStringLiteral("php-fpm.service") << QString();
        QTest::addRow("terminal below the user manager")
            << QByteArray("0::/user.slice/user-1000.slice/user@1000.service/app.slice/"
                          "app-org.gnome.Terminal.slice/vte-spawn-6f1c.scope\n")
            << QString() << QString();
        QTest::addRow("login session")
            << QByteArray("0::/user.slice/user-1000.slice/session-3.scope") << QString()
            << QString();
        QTest::addRow("hybrid, systemd line first")
            << QByteArray(
                   "1:name=systemd:/system.slice/sshd.service\n0::/system.slice/sshd.service\n")
            << QStringLiteral("sshd.service") << QString();
        QTest::addRow("docker, systemd driver") << "0::/system.slice/docker-" + id + ".scope\n"
                                                << QString() << shortId;
        QTest::addRow("docker, cgroup v1 without systemd")
            << "12:pids:/docker/" + id + "\n4:memory:/docker/" + id + "\n"
            << QString() << shortId;
        QTest::addRow("podman with its init")
            << "0::/machine.slice/libpod-" + id + ".scope/container\n"
            << QString() << shortId;
        QTest::addRow("podman's monitor") << "0::/machine.slice/libpod-conmon-" + id + ".scope\n"
                                          << QString() << QString();
        QTest::addRow("podman run by a service")
            << "0::/system.slice/web.service/libpod-payload-" + id + "\n"
            << QStringLiteral("web.service") << shortId;
        QTest::addRow("kubernetes, containerd")
            << "0::/kubepods.slice/kubepods-burstable.slice/kubepods-burstable-pod1_2.slice/"
               "cri-containerd-" +
                   id + ".scope\n"
            << QString() << shortId;
        QTest::addRow("a container in a container: the outer one")
            << "0::/system.slice/docker-" + id + ".scope/docker/" + other + "\n"
            << QString() << shortId;
        QTest::addRow("a service inside a container is not this machine's")
            << "0::/docker/" + id + "/system.slice/nginx.service\n"
            << QString() << shortId;
        QTest::addRow("control byte in the unit")
            << QByteArray("0::/system.slice/a\x1b[1m.service\n") << QString() << QString();
        QTest::addRow("short id, upper case, relative path, garbage")
            << "::\n:\n\n1:x:/docker/" + id.toUpper() +
                   "\n2:y:/docker/4f2a9c1e8b7d\n0::web.service\n"
            << QString() << QString();
        QTest::addRow("huge line") << "0::/" + QByteArray(1 << 20, '/') + "x.service"
                                   << QStringLiteral("x.service") << QString();
    }
    void cgroup()
    {
        QFETCH(QByteArray, file);
        const CgroupPlace place = parseCgroup(file);
        QTEST(place.unit, "unit");
        QTEST(place.container, "container");
    }

    void proxy_data()
    {
        QTest::addColumn<QByteArray>("commandLine");
        QTest::addColumn<QString>("target");

        QTest::addRow("docker-proxy")
            << arguments("/usr/bin/docker-proxy|-proto|tcp|-host-ip|0.0.0.0|-host-port|8080|"
                         "-container-ip|172.17.0.2|-container-port|80|-use-listen-fd")
            << QStringLiteral("172.17.0.2:80");
        QTest::addRow("IPv6, double dash, values after '='")
            << arguments("docker-proxy|--container-ip=fd00::2|--container-port=443|")
            << QStringLiteral("[fd00::2]:443");
        QTest::addRow("no port") << arguments("docker-proxy|-container-ip|172.17.0.2") << QString();
        QTest::addRow("port out of range")
            << arguments("p|-container-ip|10.0.0.2|-container-port|65536") << QString();
        QTest::addRow("port zero")
            << arguments("p|-container-ip|10.0.0.2|-container-port|0") << QString();
        QTest::addRow("port not a number")
            << arguments("p|-container-ip|10.0.0.2|-container-port|8a") << QString();
        QTest::addRow("markup for an address")
            << arguments("p|-container-ip|<b>1.2.3.4|-container-port|80") << QString();
        QTest::addRow("option without a value")
            << arguments("p|-container-port|80|-container-ip") << QString();
        QTest::addRow("not a proxy") << arguments("nginx|-g|daemon off;") << QString();
    }
    void proxy()
    {
        QFETCH(QByteArray, commandLine);
        const auto target = parseProxyCommandLine(commandLine);
        QTEST(target ? target->text() : QString(), "target");
    }

    // The facts read from a process's files, in a stand-in /proc.
    void readFiles_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("commandLine"); // none: no process folder at all
        QTest::addColumn<QByteArray>("executable");
        QTest::addColumn<QByteArray>("cgroup");
        QTest::addColumn<QString>("facts");

        QTest::addRow("cut name, service")
            << QByteArray("kube-controller") << arguments("kcm|")
            << QByteArray("/usr/bin/kube-controller-manager")
            << QByteArray("0::/system.slice/kcm.service\n")
            << QStringLiteral("kube-controller-manager|kcm.service||");
        QTest::addRow("proxy in the engine's service")
            << QByteArray("docker-proxy")
            << arguments("docker-proxy|-container-ip|172.17.0.2|-container-port|80|")
            << QByteArray() << QByteArray("0::/system.slice/docker.service\n")
            << QStringLiteral("docker-proxy|docker.service||172.17.0.2:80");
        QTest::addRow("control bytes shown escaped")
            << QByteArray("evil\x1b[31mname-x") << arguments("evil\x1b[31mname-xyz|")
            << QByteArray() << QByteArray() << QStringLiteral("evil^[[31mname-xyz|||");
        QTest::addRow("cgroup file beyond any real one")
            << QByteArray("app") << arguments("app") << QByteArray()
            << "0::/system.slice/app.service/" + QByteArray(20000, 'a') + "/docker-" + id + "\n"
            << QStringLiteral("app|||");
        QTest::addRow("vanished") << QByteArray("a very long pro") << QByteArray() << QByteArray()
                                  << QByteArray() << QStringLiteral("a very long pro|||");
    }
    void readFiles()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, commandLine);
        QFETCH(QByteArray, executable);
        QFETCH(QByteArray, cgroup);
        QTemporaryDir proc;
        QDir(proc.path()).mkdir(QStringLiteral("42"));
        const QString dir = proc.filePath(QStringLiteral("42/"));
        const auto write = [&](const char* file, const QByteArray& content) {
            QFile out(dir + QLatin1String(file));
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(content);
        };
        if (!commandLine.isEmpty())
            write("cmdline", commandLine);
        if (!cgroup.isEmpty())
            write("cgroup", cgroup);
        if (!executable.isEmpty())
            QFile::link(QString::fromUtf8(executable), dir + QStringLiteral("exe"));
        if (commandLine.isEmpty())
            QDir(dir).removeRecursively();

        const int procFd = ::open(QFile::encodeName(proc.path()).constData(), O_RDONLY);
        const Facts facts = read(procFd, "42", name);
        ::close(procFd);
        QTEST(QStringList({facts.program, facts.place.unit, facts.place.container,
                           facts.proxy ? facts.proxy->text() : QString()})
                  .join(QLatin1Char('|')),
              "facts");
    }

    // A stand-in engine on a local socket, answering each connection with `answer` (in two
    // parts, to be put together) or, for an empty one, keeping silent.
    void engineNames_data()
    {
        QTest::addColumn<bool>("listening");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("name");

        QTest::addRow("good answer") << true << reply(webList) << QStringLiteral("web");
        const QByteArray half = webList.left(40), rest = webList.mid(40);
        QTest::addRow("chunked, closed after")
            << true
            << "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" +
                   QByteArray::number(half.size(), 16) + "\r\n" + half + "\r\n" +
                   QByteArray::number(rest.size(), 16) + ";x\r\n" + rest + "\r\n0\r\n\r\n"
            << QStringLiteral("web");
        QTest::addRow("garbage") << true << reply("[{\"Names\":[\"/web\"]") << QString();
        QTest::addRow("refused") << true << QByteArray("HTTP/1.1 403 Forbidden\r\n\r\n[]")
                                 << QString();
        QTest::addRow("silent") << true << QByteArray() << QString();
        QTest::addRow("no engine") << false << QByteArray() << QString();
    }
    void engineNames()
    {
        QFETCH(bool, listening);
        QFETCH(QByteArray, answer);
        StandInEngine engine(answer, listening);
        ContainerNames::Timing timing;
        timing.answerWithin = std::chrono::milliseconds(300);
        ContainerNames names(engine.path(), timing);
        QSignalSpy answered(&names, &ContainerNames::answered);
        QCOMPARE(names.nameAt(QStringLiteral("172.17.0.2")), QString()); // never waits
        QVERIFY(answered.wait(2000));
        QTEST(names.nameAt(QStringLiteral("172.17.0.2")), "name");
        QTEST(names.nameAt(QStringLiteral("fd00::2")), "name");
        QCOMPARE(names.nameAt(QStringLiteral("172.17.0.3")), QString());
        // Answered or not, the engine is not asked again at once.
        QTest::qWait(50);
        QCOMPARE(answered.count(), 1);
        QCOMPARE(engine.connections, listening ? 1 : 0);
    }

    // A real port proxy's record: its target's address at once, the engine's name for it
    // on a scan after the engine answered.
    void proxyInRecords()
    {
        StandInEngine engine(reply(webList));
        QProcess proxy;
        proxy.start(QStringLiteral(CHURNCHILD_PATH),
                    {QStringLiteral("-container-ip"), QStringLiteral("172.17.0.2"),
                     QStringLiteral("--container-port=80")});
        QVERIFY(proxy.waitForReadyRead() && proxy.readLine().startsWith("ok "));
        proxy.write("l0 \n"); // listen on any port
        QVERIFY(proxy.waitForReadyRead());
        const int port = proxy.readLine().mid(3).trimmed().toInt();
        const auto names = ContainerNames::makeShared(engine.path());
        ProcNetSource source(QStringLiteral("/proc"), ProcNetSource::Walk::Incremental,
                             std::chrono::seconds(60), ProcNetSource::Sockets::Diagnostics, names);
        const auto container = [&] {
            for (const ListeningPort& record : source.query().ports) {
                if (record.pid() == proxy.processId() && record.port() == port)
                    return record.container();
            }
            return QStringLiteral("not listed");
        };
        QCOMPARE(container(), QStringLiteral("172.17.0.2:80"));
        QSignalSpy answered(names.get(), &ContainerNames::answered);
        QVERIFY(answered.wait(2000));
        QCOMPARE(container(), QStringLiteral("web"));
        proxy.closeWriteChannel();
        QVERIFY(proxy.waitForFinished());
    }
};

QTEST_GUILESS_MAIN(TestOwnerFacts)
#include "tst_ownerfacts.moc"
