#include "sshconfighosts.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class TestSshConfigHosts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void hosts_data()
    {
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<QString>("hosts"); // joined by commas
        QTest::addRow("several names on a line")
            << QByteArray("Host a b\tc\n  HostName a.example\n") << "a,b,c";
        QTest::addRow("wildcards and negations name no one machine")
            << QByteArray("Host * web-? !bad ok\nHost *.lan\n") << "ok";
        QTest::addRow("Match lines name no hosts")
            << QByteArray("Match host foo exec \"true\"\n  User bob\nHost bar\n")
            << "bar";
        QTest::addRow("comments")
            << QByteArray("# Host hidden\nHost real # not#this\n\n   Host   spaced\n")
            << "real,spaced";
        QTest::addRow("keyword in any case, '=', one name per case")
            << QByteArray("HOST Alpha\nhost alpha\nhOsT=beta\nHost = gamma\n")
            << "Alpha,beta,gamma";
        QTest::addRow("quoted, and what ssh would take for an option")
            << QByteArray("Host \"quoted\" -oProxyCommand=x \"two words\" user@box\n")
            << "quoted,user@box";
    }
    void hosts()
    {
        QFETCH(QByteArray, config);
        QFETCH(QString, hosts);
        QCOMPARE(sshConfigHosts(config).join(u','), hosts);
    }

    // Include is followed, relative to the ssh folder, with globs; a loop ends.
    void includes()
    {
        QTemporaryDir ssh;
        QDir(ssh.path()).mkdir(QStringLiteral("conf.d"));
        const auto write = [&](const QString& name, const QByteArray& text) {
            QFile file(ssh.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(text);
        };
        write(QStringLiteral("config"), "Host first\nInclude conf.d/*.conf config\nHost last\n");
        write(QStringLiteral("conf.d/b.conf"), "Host b\n");
        write(QStringLiteral("conf.d/a.conf"), "Host a\n");
        write(QStringLiteral("conf.d/skipped"), "Host skipped\n");
        QCOMPARE(readSshConfigHosts(ssh.filePath(QStringLiteral("config")), ssh.path()).join(u','),
                 QStringLiteral("first,a,b,last"));
    }
};

QTEST_MAIN(TestSshConfigHosts)
#include "tst_sshconfighosts.moc"
