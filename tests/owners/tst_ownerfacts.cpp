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
QByteArray arguments(QByteArray text)
{
    return text.replace('|', '\0');
}

const QByteArray id = "4f2a9c1e8b7d6053a1c2e3f405162738495a6b7c8d9e0f1a2b3c4d5e6f708192";
const QByteArray other = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";

QByteArray reply(const QByteArray& body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

const QByteArray webList = R"([{"Id":")" + id + R"(","Names":["/web"],"NetworkSettings":{"Networks":
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
    void cgroup_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("place"); // "unit[ (user)]|container"
        const auto row = [](const char* name, const QByteArray& file, const QByteArray& place) {
            QTest::addRow("%s", name) << file << QString::fromLatin1(place);
        };
        const QByteArray shortId = "|" + id.left(12);
        row("system service", "0::/system.slice/nginx.service\n", "nginx.service|");
        row("user service, template and escapes",
            "0::/user.slice/user-1000.slice/user@1000.service/app.slice/app-x\\x2dy@b.service\n",
            "app-x\\x2dy@b.service (user)|");
        row("the user manager itself is the system's",
            "0::/user.slice/user-1000.slice/user@1000.service/payload\n", "user@1000.service|");
        row("service's own sub-group", "0::/system.slice/php-fpm.service/pool\n",
            "php-fpm.service|");
        row("terminal below the user manager",
            "0::/user.slice/user-1000.slice/user@1000.service/app.slice/"
            "app-org.gnome.Terminal.slice/vte-spawn-6f1c.scope\n",
            "|");
        row("login session", "0::/user.slice/user-1000.slice/session-3.scope", "|");
        row("hybrid, systemd line first",
            "1:name=systemd:/system.slice/sshd.service\n0::/system.slice/sshd.service\n",
            "sshd.service|");
        row("docker, systemd driver", "0::/system.slice/docker-" + id + ".scope\n", shortId);
        row("docker, cgroup v1 without systemd",
            "12:pids:/docker/" + id + "\n4:memory:/docker/" + id + "\n", shortId);
        row("podman with its init", "0::/machine.slice/libpod-" + id + ".scope/container\n",
            shortId);
        row("podman's monitor", "0::/machine.slice/libpod-conmon-" + id + ".scope\n", shortId);
        row("no runtime's prefix", "0::/system.slice/x" + id + ".scope\n", "|");
        row("podman run by a service", "0::/system.slice/web.service/libpod-payload-" + id,
            "web.service" + shortId);
        row("kubernetes, containerd",
            "0::/kubepods.slice/kubepods-burstable.slice/kubepods-burstable-pod1_2.slice/"
            "cri-containerd-" +
                id + ".scope\n",
            shortId);
        row("a container in a container: the outer one",
            "0::/system.slice/docker-" + id + ".scope/docker/" + other + "\n", shortId);
        row("a service inside a container is not this machine's",
            "0::/docker/" + id + "/system.slice/nginx.service\n", shortId);
        row("control byte in the unit", "0::/system.slice/a\x1b[1m.service\n", "|");
        row("short id, upper case, relative path, garbage",
            "::\n:\n\n1:x:/docker/" + id.toUpper() + "\n2:y:/docker/4f2a9c1e8b7d\n0::web.service\n",
            "|");
        row("huge line", "0::/" + QByteArray(1 << 20, '/') + "x.service", "x.service|");
    }
    void cgroup()
    {
        QFETCH(QByteArray, file);
        const CgroupPlace place = parseCgroup(file);
        QTEST(QString(place.unit + (place.userUnit ? u" (user)" : u"") + u'|' + place.container),
              "place");
    }

    void proxy_data()
    {
        QTest::addColumn<QByteArray>("commandLine");
        QTest::addColumn<QString>("target");
        const auto row = [](const char* name, const char* commandLine, const char* target) {
            QTest::addRow("%s", name) << arguments(commandLine) << QString::fromLatin1(target);
        };
        row("docker-proxy",
            "/usr/bin/docker-proxy|-proto|tcp|-host-ip|0.0.0.0|-host-port|8080|"
            "-container-ip|172.17.0.2|-container-port|80|-use-listen-fd",
            "172.17.0.2:80");
        row("IPv6, double dash, values after '='",
            "docker-proxy|--container-ip=fd00::2|--container-port=443|", "[fd00::2]:443");
        row("no port", "docker-proxy|-container-ip|172.17.0.2", "");
        row("port out of range", "p|-container-ip|10.0.0.2|-container-port|65536", "");
        row("port zero", "p|-container-ip|10.0.0.2|-container-port|0", "");
        row("port not a number", "p|-container-ip|10.0.0.2|-container-port|8a", "");
        row("markup for an address", "p|-container-ip|<b>1.2.3.4|-container-port|80", "");
        row("option without a value", "p|-container-port|80|-container-ip", "");
        row("not a proxy", "nginx|-g|daemon off;", "");
    }
    void proxy()
    {
        QFETCH(QByteArray, commandLine);
        const auto target = parseProxyCommandLine(commandLine);
        QTEST(target ? target->text() : QString(), "target");
    }

    // The facts read from a process's files in a stand-in /proc: its whole program name, the
    // first argument, or its base name, or the executable's, whichever begins with a name
    // the kernel cut; its cgroup's place; a proxy's target.
    void readFiles_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("commandLine"); // none: no process folder at all
        QTest::addColumn<QByteArray>("executable");
        QTest::addColumn<QByteArray>("cgroup");
        QTest::addColumn<QString>("facts"); // "program|unit|container|proxy"
        const auto row = [](const char* name, const QByteArray& rawName,
                            const QByteArray& commandLine, const char* executable,
                            const QByteArray& cgroup, const char* facts) {
            QTest::addRow("%s", name) << rawName << arguments(commandLine) << QByteArray(executable)
                                      << cgroup << QString::fromUtf8(facts);
        };
        row("uncut name as it is", "nginx", "nginx: master process|", "", "", "nginx|||");
        row("cut, the first argument's base name", "a very long pro",
            "/opt/x/a very long program|-v", "/opt/x/other", "", "a very long program|||");
        row("cut, a title holding a slash", "gunicorn: worke", "gunicorn: worker [app/wsgi]",
            "/usr/bin/python3.11", "", "gunicorn: worker [app/wsgi]|||");
        row("cut, the deleted executable's, a service", "kube-controller", "kcm|",
            "/usr/bin/kube-controller-manager (deleted)", "0::/system.slice/kcm.service\n",
            "kube-controller-manager|kcm.service||");
        row("cut, nothing begins with it", "my-long-script-", "/usr/bin/python3|my-long-script-x",
            "/usr/bin/python3.11", "", "my-long-script-|||");
        row("cut, longer than any file name", QByteArray(15, 'a'), QByteArray(300, 'a'), "", "",
            "aaaaaaaaaaaaaaa|||");
        row("proxy in the engine's service", "docker-proxy",
            "docker-proxy|-container-ip|172.17.0.2|-container-port|80|", "",
            "0::/system.slice/docker.service\n", "docker-proxy|docker.service||172.17.0.2:80");
        row("control bytes shown escaped", "evil\x1b[31mname-x", "evil\x1b[31mname-xyz|", "", "",
            "evil^[[31mname-xyz|||");
        row("cgroup file beyond any real one", "app", "app", "",
            "0::/system.slice/app.service/" + QByteArray(20000, 'a') + "/docker-" + id + "\n",
            "app|||");
        row("vanished", "a very long pro", "", "", "", "a very long pro|||");
    }
    void readFiles()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, commandLine);
        QFETCH(QByteArray, executable);
        QFETCH(QByteArray, cgroup);
        QTemporaryDir proc;
        const QString dir = proc.filePath(QStringLiteral("42/"));
        QVERIFY(commandLine.isEmpty() || QDir(proc.path()).mkdir(QStringLiteral("42")));
        const auto write = [&](const char* file, const QByteArray& content) {
            QFile out(dir + QLatin1String(file));
            QVERIFY(content.isEmpty() || (out.open(QIODevice::WriteOnly) && out.write(content)));
        };
        write("cmdline", commandLine);
        write("cgroup", cgroup);
        if (!executable.isEmpty())
            QFile::link(QString::fromUtf8(executable), dir + QStringLiteral("exe"));

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
        QTEST(names.nameAt(QString::fromLatin1(id.left(12))), "name"); // a restarted owner's
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
        proxy.write("n0 " + QByteArray("docker-proxy").toHex() + "\nl0 \n"); // listen on any port
        QVERIFY(proxy.waitForReadyRead() && proxy.readLine().startsWith("ok "));
        QVERIFY(proxy.canReadLine() || proxy.waitForReadyRead());
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
