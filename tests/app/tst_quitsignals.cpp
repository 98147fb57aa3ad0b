#include "quitsignals.h"

#include <QTest>
#include <QTimer>

#include <csignal>

class TestQuitSignals : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each signal ends the event loop instead of the program.
    void quits_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addRow("SIGTERM") << SIGTERM;
        QTest::addRow("SIGINT") << SIGINT;
        QTest::addRow("SIGHUP") << SIGHUP;
    }
    void quits()
    {
        QFETCH(int, signal);
        const QuitSignals quitSignals;
        QVERIFY(quitSignals.isActive());
        QTimer::singleShot(0, this, [signal] { ::raise(signal); });
        QCOMPARE(QCoreApplication::exec(), 0);
    }
};

QTEST_GUILESS_MAIN(TestQuitSignals)
#include "tst_quitsignals.moc"
