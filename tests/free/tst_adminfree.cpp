#include "adminfree.h"

#include <QTest>

using namespace std::chrono_literals;

Q_DECLARE_METATYPE(AdminFree::Result::Outcome)

// pkexec through its seam: a stand-in that prints its arguments and answers by the port.
class TestAdminFree : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void freePort_data()
    {
        QTest::addColumn<QString>("pkexec");
        QTest::addColumn<int>("port");
        QTest::addColumn<AdminFree::Result::Outcome>("outcome");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");
        using O = AdminFree::Result::Outcome;
        const QString standIn = QFINDTESTDATA("pkexec_standin.sh");
        QTest::addRow("freed") << standIn << 8080 << O::Done << 0 << "8080: free";
        QTest::addRow("still listening")
            << standIn << 2004 << O::Done << 4 << "2004: still listening: pid 4242";
        QTest::addRow("authorization dismissed") << standIn << 2126 << O::Dismissed << 126 << "";
        QTest::addRow("no agent to ask") << standIn << 2127 << O::Dismissed << 127 << "";
        QTest::addRow("never ends") << standIn << 2003 << O::NotRun << -1 << "";
        QTest::addRow("no pkexec") << "/nonexistent/pkexec" << 8080 << O::NotRun << -1 << "";
    }

    void freePort()
    {
        QFETCH(QString, pkexec);
        QFETCH(int, port);
        QFETCH(AdminFree::Result::Outcome, outcome);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        // A path a shell would split, which pkexec must get whole.
        const QString tool = QStringLiteral("/opt/tide watch/tidewatch-ports");
        AdminFree admin(pkexec, tool);
        admin.finishWithin = 500ms;
        std::optional<AdminFree::Result> result;
        admin.freePort(quint16(port), this, [&](const AdminFree::Result& r) {
            QVERIFY(!result);
            result = r;
        });
        QTRY_VERIFY(result);
        QCOMPARE(result->outcome, outcome);
        QCOMPARE(result->exitCode, exitCode);
        if (outcome != AdminFree::Result::Outcome::Done)
            return;
        QCOMPARE(result->lines.mid(0, 3), (QStringList{u"arg " + tool, QStringLiteral("arg --free"),
                                                       QStringLiteral("arg %1").arg(port)}));
        QVERIFY2(result->lines.value(3).startsWith(said), qPrintable(result->lines.join(u'\n')));
    }
};

QTEST_GUILESS_MAIN(TestAdminFree)
#include "tst_adminfree.moc"
