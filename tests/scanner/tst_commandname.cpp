#include "childprocess.h"
#include "commandname.h"
#include "lsofparser.h"

#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <memory>
#include <vector>

using namespace std::chrono_literals;

namespace {

struct Name
{
    const char* what;
    QByteArray raw;
    QByteArray printed;
};

// Command names as lsof 4.95 prints them in its -F c field under LC_ALL=C.UTF-8. Each is
// at most 15 bytes, so a process can take it as its own name.
const std::vector<Name>& names()
{
    static const std::vector<Name> table{
        {"plain", "postgres", "postgres"},
        {"spaces kept", "   a b", "   a b"},
        {"tab", "a\tb\t", "a\\tb\\t"},
        {"newline", "a\nb", "a\\nb"},
        {"bs ff cr", "\b\f\r", "\\b\\f\\r"},
        {"other controls as caret",
         "a\x01"
         "b\x1b[\x1f",
         "a^Ab^[[^_"},
        {"DEL", "a\x7f", "a\\x7f"},
        {"backslash doubled", "a\\xb\\", "a\\\\xb\\\\"},
        {"caret kept", "a^b", "a^b"},
        {"printable UTF-8 kept", "caf\xc3\xa9 \xe2\x82\xac\xf0\x9f\x98\x80",
         "caf\xc3\xa9 \xe2\x82\xac\xf0\x9f\x98\x80"},
        {"combining mark, no-break space", "a\xcc\x81\xc2\xa0", "a\xcc\x81\xc2\xa0"},
        {"C1 controls bytewise", "\xc2\x80\xc2\x9b", "\\xc2\\x80\\xc2\\x9b"},
        {"unassigned, non-character", "\xcd\xb8\xef\xbf\xbf", "\\xcd\\xb8\\xef\\xbf\\xbf"},
        {"stray bytes",
         "a\xff"
         "b\xfe",
         "a\\xffb\\xfe"},
        {"truncated sequence",
         "a\xc3"
         "b",
         "a\\xc3b"},
        {"surrogate", "\xed\xa0\x80", "\\xed\\xa0\\x80"},
        {"overlong", "\xc0\xaf\xe0\x80\x8a", "\\xc0\\xaf\\xe0\\x80\\x8a"},
        {"above U+10FFFF", "\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
    };
    return table;
}

} // namespace

class TestCommandName : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void escape_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QByteArray>("printed");
        for (const Name& name : names())
            QTest::addRow("%s", name.what) << name.raw << name.printed;
    }
    void escape()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QByteArray, printed);
        QCOMPARE(escapeCommandName(raw).toUtf8(), printed);
    }

    // The same names, taken by real processes and read back through the real lsof.
    void matchesTheRealLsof()
    {
        const QString lsof = QStringLiteral("/usr/bin/lsof");
        if (!QFileInfo(lsof).isExecutable())
            QSKIP("no /usr/bin/lsof here");
        qputenv("LC_ALL", "C.UTF-8");

        std::vector<std::unique_ptr<QProcess>> holders;
        QHash<qint32, QByteArray> expected;
        QStringList pids;
        for (const Name& name : names()) {
            auto holder = std::make_unique<QProcess>();
            holder->start(QStringLiteral(PORTHOLDER_PATH),
                          {QString::fromLatin1(name.raw.toHex()), QStringLiteral("0")});
            QVERIFY(holder->waitForReadyRead(10000));
            expected.insert(qint32(holder->processId()), name.printed);
            pids << QString::number(holder->processId());
            holders.push_back(std::move(holder));
        }
        const ChildRun run = ChildRun::run(
            lsof,
            {QStringLiteral("-a"), QStringLiteral("-p"), pids.join(QLatin1Char(',')),
             QStringLiteral("-iTCP"), QStringLiteral("-sTCP:LISTEN"), QStringLiteral("-P"),
             QStringLiteral("-n"), QStringLiteral("-F"), QStringLiteral("pcn")},
            60s);
        for (const auto& holder : holders) {
            holder->closeWriteChannel();
            holder->waitForFinished(5000);
        }
        QCOMPARE(run.status, ChildRun::Status::Exited);
        const auto ports = LsofParser::parse(QByteArrayView(run.output));
        QVERIFY(ports.has_value());
        QCOMPARE(ports->size(), expected.size());
        for (const ListeningPort& port : *ports)
            QCOMPARE(port.processName().toUtf8(), expected.value(port.pid()));
    }
};

QTEST_GUILESS_MAIN(TestCommandName)
#include "tst_commandname.moc"
