#include "signalnotifier.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <csignal>

class TestSignalNotifier : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each signal reaches the event loop, by its number, instead of ending the program.
    void received_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addRow("SIGTERM") << SIGTERM;
        QTest::addRow("SIGINT") << SIGINT;
        QTest::addRow("SIGHUP") << SIGHUP;
    }
    void received()
    {
        QFETCH(int, signal);
        const SignalNotifier notifier({SIGTERM, SIGINT, SIGHUP});
        QVERIFY(notifier.isActive());
        QSignalSpy spy(&notifier, &SignalNotifier::received);
        QObject::connect(&notifier, &SignalNotifier::received, qApp, &QCoreApplication::quit);
        QTimer::singleShot(0, this, [signal] { ::raise(signal); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), signal);
    }
};

QTEST_GUILESS_MAIN(TestSignalNotifier)
#include "tst_signalnotifier.moc"
