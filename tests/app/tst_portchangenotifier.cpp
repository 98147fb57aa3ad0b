#include "fakeportsource.h"
#include "portchangenotifier.h"
#include "portscanner.h"
#include "recordingdesktopservices.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestPortChangeNotifier : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What the desktop is told between two lists ("port/pid/name,...", "53u": UDP), by port
    // number and protocol.
    void portChangeMessages_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("messages"); // joined by " | "
        QTest::addRow("one starts, one stops")
            << "22/9/sshd,80/1/nginx"
            << "22/9/sshd,5173/7/vite"
            << "Port 5173 is now listening — vite | Port 80 stopped listening — nginx";
        QTest::addRow("a restart, a second process: nothing") << "3000/5/node"
                                                              << "3000/6/node,3000/7/node"
                                                              << "";
        QTest::addRow("another user's socket; a name with a line break")
            << ""
            << "5432/0/,6000/4/a\nb"
            << "Port 5432 is now listening | Port 6000 is now listening — a\uFFFDb";
        QTest::addRow("UDP beside TCP on a port: named")
            << "53/1/dns"
            << "53/1/dns,5353u/2/avahi-daemon,53u/1/dns"
            << "Port 5353/udp is now listening — avahi-daemon | Port 53/udp is now listening — dns";
        QTest::addRow("more than three: counted")
            << "1/1/a"
            << "2/2/b,3/3/c,4/4/d"
            << "3 ports are now listening; 1 port stopped listening";
    }

    void portChangeMessages()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        const auto parse = [](const QString& text) {
            QList<ListeningPort> ports;
            for (const QString& record : text.split(u',', Qt::SkipEmptyParts)) {
                QString port = record.section(u'/', 0, 0);
                const bool udp = port.endsWith(u'u');
                ports.append(ListeningPort(
                    port.remove(u'u').toInt(), record.section(u'/', 1, 1).toInt(),
                    record.section(u'/', 2), {}, {}, 0, {}, {},
                    udp ? ListeningPort::Protocol::Udp : ListeningPort::Protocol::Tcp));
            }
            return ports;
        };
        QTEST(
            PortChangeNotifier::messagesFor(parse(before), parse(after)).join(QLatin1String(" | ")),
            "messages");
    }

    // Off until ticked, and kept; never for the first scan, nor while off.
    void portChangeNotifier()
    {
        const QTemporaryDir dir;
        QSettings preferences(dir.filePath(QStringLiteral("s.ini")), QSettings::IniFormat);
        auto source =
            std::make_shared<FakePortSource>(QList{ListeningPort(80, 1, QStringLiteral("nginx"))});
        RecordingDesktopServices desktop;
        PortScanner scanner(source);
        PortChangeNotifier notifier(scanner, desktop, preferences);
        QSignalSpy scanned(&scanner, &PortScanner::lastScanChanged);
        QVERIFY(!notifier.isEnabled());
        notifier.setEnabled(true);
        RecordingDesktopServices elsewhere;
        QVERIFY(PortChangeNotifier(scanner, elsewhere, preferences).isEnabled());
        const auto scanOf = [&](const QList<ListeningPort>& ports) {
            source->setPorts(ports);
            scanner.scan();
            return QTest::qWaitFor(
                [&, count = scanned.count() + 1] { return scanned.count() == count; });
        };
        QTRY_COMPARE(scanned.count(), 1);
        QVERIFY(scanOf({ListeningPort(8080, 2, QStringLiteral("vite"))}));
        notifier.setEnabled(false);
        QVERIFY(scanOf({}));
        QCOMPARE(desktop.notifications,
                 QStringList({QStringLiteral("Port 8080 is now listening — vite"),
                              QStringLiteral("Port 80 stopped listening — nginx")}));
        // Without a service, said once when ticked, and not again for the notices after.
        const QSignalSpy unavailable(&notifier, &PortChangeNotifier::unavailable);
        desktop.notificationsWork = false;
        notifier.setEnabled(true);
        QVERIFY(scanOf({ListeningPort(8080, 2, QStringLiteral("vite"))}));
        QCOMPARE(unavailable.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestPortChangeNotifier)
#include "tst_portchangenotifier.moc"
