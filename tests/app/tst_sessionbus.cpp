#include "sessionbus.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

class TestSessionBus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Asked as a client asks: only a bus that takes the connection and then says nothing
    // is silent, and it is known to be within the bound.
    void silentSessionBus_data()
    {
        QTest::addColumn<QString>("address"); // %1: a socket that listens and never answers
        QTest::addColumn<bool>("isSilent");
        QTest::addRow("listens, never answers") << "unix:path=%1" << true;
        QTest::addRow("second entry, the first not there") << "unix:path=%1x;unix:path=%1" << true;
        QTest::addRow("nothing there") << "unix:path=%1x" << false;
        QTest::addRow("not a unix: address") << "tcp:host=127.0.0.1,port=1;unix:path=%1" << false;
        QTest::addRow("disabled") << "disabled:" << false;
    }
    void silentSessionBus()
    {
        QFETCH(QString, address);
        QTemporaryDir dir;
        QLocalServer bus; // its backlog takes connections; nothing ever answers
        QVERIFY(bus.listen(dir.filePath(QStringLiteral("bus"))));
        QElapsedTimer clock;
        clock.start();
        QTEST(isSilentSessionBus(address.arg(bus.fullServerName()).toUtf8(), 300ms), "isSilent");
        QVERIFY(clock.elapsed() < 2000);
    }
};

QTEST_GUILESS_MAIN(TestSessionBus)
#include "tst_sessionbus.moc"
