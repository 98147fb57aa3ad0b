#include "unitstopper.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

using namespace std::chrono_literals;

Q_DECLARE_METATYPE(StopResult::Outcome)

// Against a stand-in service manager on a private bus of the test's own.
class TestUnitStopper : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            QSKIP("dbus-daemon is not installed (scripts/debian-packages.txt lists it)");
        m_bus.start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--session"), QStringLiteral("--nofork"),
                     QStringLiteral("--print-address=1")});
        QVERIFY(m_bus.waitForReadyRead(5000));
        m_address = QString::fromUtf8(m_bus.readLine().trimmed());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
        m_manager.setProcessEnvironment(env);
        m_manager.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_manager.start(QStringLiteral("/usr/bin/python3"), {QFINDTESTDATA("systemd_manager.py")});
        QTRY_VERIFY_WITH_TIMEOUT(m_manager.canReadLine(), 10000);
        QCOMPARE(m_manager.readLine(), QByteArray("ready\n"));
    }

    void cleanupTestCase()
    {
        for (QProcess* process : {&m_manager, &m_bus}) {
            process->kill();
            process->waitForFinished();
        }
    }

    void stop_data()
    {
        QTest::addColumn<QStringList>("units");
        // 0: the user's manager; 1: the system's, on a bus that is not there; 2: the
        // system's, for a user who is not root, so polkit may be asking meanwhile.
        QTest::addColumn<int>("manager");
        QTest::addColumn<StopResult::Outcome>("outcome");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QStringList>("calls");
        using O = StopResult::Outcome;
        const auto units = [](const char* text) { return QString::fromLatin1(text).split(u' '); };
        QTest::addRow("user unit, asking polkit allowed")
            << units("vite.service") << 0 << O::Stopped << "" << units("vite.service");
        // The system's manager is on a bus that is not there.
        QTest::addRow("system unit: the system bus")
            << units("cups.service") << 1 << O::Unreachable << "" << QStringList();
        QTest::addRow("socket, then its service")
            << units("cups.socket cups.service") << 0 << O::Stopped << ""
            << units("cups.socket cups.service");
        QTest::addRow("gone") << units("gone.service") << 0 << O::Gone << ""
                              << units("gone.service");
        QTest::addRow("refused") << units("denied.service") << 0 << O::Refused << ""
                                 << units("denied.service");
        QTest::addRow("an error, in its words, printable")
            << units("broken.service") << 0 << O::Failed
            << QStringLiteral("Job for broken.service <b>failed</b>\uFFFD")
            << units("broken.service");
        QTest::addRow("no answer within the deadline")
            << units("silent.service") << 0 << O::NoAnswer << "" << units("silent.service");
        QTest::addRow("no answer while a password may be asked: awaited longer")
            << units("silent.service") << 2 << O::NoAnswer << "" << units("silent.service");
        QTest::addRow("the first fails: the second is not asked")
            << units("gone.socket web.service") << 0 << O::Gone << "" << units("gone.socket");
        QTest::addRow("not a unit's name: nothing asked")
            << QStringList{QStringLiteral("web.service"), QStringLiteral("x;reboot.service")} << 0
            << O::Failed << "" << QStringList();
        QTest::addRow("nor a unit of another kind")
            << units("web.mount") << 0 << O::Failed << "" << QStringList();
    }

    void stop()
    {
        QFETCH(QStringList, units);
        QFETCH(int, manager);
        QFETCH(StopResult::Outcome, outcome);
        QFETCH(QString, detail);
        QFETCH(QStringList, calls);
        UnitStopper stopper(m_address, manager == 2 ? m_address
                                                    : QStringLiteral("unix:path=/nonexistent/bus"));
        stopper.answerWithin = 300ms;
        stopper.authorizeWithin = 900ms;
        stopper.mayAskForAuthorization = manager == 2;
        const auto which = manager == 0 ? UnitStopper::Manager::User : UnitStopper::Manager::System;
        QElapsedTimer waited;
        waited.start();
        std::optional<StopResult> result;
        int answers = 0;
        stopper.stop(units, which, this, [&](const StopResult& r) {
            result = r;
            ++answers;
        });
        QTRY_VERIFY(result);
        QCOMPARE(result->outcome, outcome);
        QCOMPARE(result->detail, detail);
        if (outcome == StopResult::Outcome::NoAnswer)
            QVERIFY(waited.elapsed() >= (manager == 2 ? 900 : 300));
        // What the manager was asked, and nothing more.
        QStringList recorded;
        do {
            recorded += QString::fromUtf8(m_manager.readAll()).split(u'\n', Qt::SkipEmptyParts);
        } while (m_manager.waitForReadyRead(calls.size() > recorded.size() ? 2000 : 100));
        for (QString& unit : calls)
            unit = QStringLiteral("StopUnit %1 replace interactive").arg(unit);
        QCOMPARE(recorded, calls);
        QCOMPARE(answers, 1);
    }

    // The ports the manager holds for its active socket units, and what each starts; paths,
    // netlink sockets, inactive units and odd names are left out.
    void findSocketUnits_data()
    {
        QTest::addColumn<bool>("system");
        QTest::addColumn<QString>("found");
        QTest::addRow("the user's manager")
            << false
            << "cups.socket 631 cups.service, cups.socket 631/udp cups.service, web.socket 2000 "
               "web.service";
        QTest::addRow("no system bus") << true << "";
    }

    void findSocketUnits()
    {
        QFETCH(bool, system);
        QFETCH(QString, found);
        UnitStopper stopper(m_address, QStringLiteral("unix:path=/nonexistent/bus"));
        std::optional<QStringList> sockets;
        stopper.findSocketUnits(
            system ? UnitStopper::Manager::System : UnitStopper::Manager::User, this,
            [&](const QList<UnitStopper::SocketUnit>& units) {
                sockets.emplace();
                for (const auto& unit : units)
                    sockets->append(QStringLiteral("%1 %2%3 %4")
                                        .arg(unit.unit)
                                        .arg(unit.port)
                                        .arg(unit.udp ? u"/udp" : u"", unit.triggers.join(u'+')));
            });
        QTRY_VERIFY(sockets);
        sockets->sort();
        QCOMPARE(sockets->join(u", "), found);
    }

private:
    QProcess m_bus;
    QProcess m_manager;
    QString m_address;
};

QTEST_GUILESS_MAIN(TestUnitStopper)
#include "tst_unitstopper.moc"
