// tidewatch-ports: prints the listening TCP ports and their owners, for terminals and
// scripts. Exit status: 0 on success (also when nothing listens), 1 when the query
// failed, 2 on a usage error.

#include "lsofsource.h"
#include "portsource.h"
#include "portsoutput.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace {

void write(std::FILE* stream, const QByteArray& text)
{
    std::fwrite(text.constData(), 1, size_t(text.size()), stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tidewatch-ports"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Lists the local TCP ports that listen, system ports included, with "
                       "the owning process, user and addresses, sorted by port and then "
                       "process id. Sockets of processes it may not see are listed by user."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption jsonOption(
        QStringLiteral("json"),
        QStringLiteral("Print a JSON array of {\"port\", \"pid\", \"processName\", \"user\", "
                       "\"addresses\"} objects; pid and processName are null where the owning "
                       "process cannot be seen."));
    const QCommandLineOption lsofOption(
        QStringLiteral("lsof"), QStringLiteral("Ask the lsof executable at <path> instead."),
        QStringLiteral("path"));
    const QCommandLineOption repeatOption(
        QStringLiteral("repeat"),
        QStringLiteral("Scan <n> times with the same source and print the last list (to "
                       "measure the cost of a steady scan)."),
        QStringLiteral("n"), QStringLiteral("1"));
    parser.addOption(jsonOption);
    parser.addOption(lsofOption);
    parser.addOption(repeatOption);

    const bool parsed = parser.parse(QCoreApplication::arguments());
    bool repeatIsNumber = false;
    const int repeat = parser.value(repeatOption).toInt(&repeatIsNumber);
    if (!parsed || !parser.positionalArguments().isEmpty() || !repeatIsNumber || repeat < 1) {
        QString error = parser.errorText();
        if (error.isEmpty() && !parser.positionalArguments().isEmpty())
            error = QStringLiteral("unexpected argument: %1")
                        .arg(parser.positionalArguments().constFirst());
        else if (error.isEmpty())
            error = QStringLiteral("--repeat needs a whole number of at least 1, not \"%1\"")
                        .arg(parser.value(repeatOption));
        write(stderr,
              QStringLiteral("tidewatch-ports: %1\n\n%2").arg(error, parser.helpText()).toUtf8());
        return 2;
    }
    if (parser.isSet(helpOption)) {
        write(stdout, parser.helpText().toUtf8());
        return 0;
    }

    std::shared_ptr<PortSource> source;
    if (parser.isSet(lsofOption))
        source = std::make_shared<LsofSource>(parser.value(lsofOption));
    else
        source = makePlatformPortSource();

    QueryResult result;
    for (int scan = 0; scan < repeat; ++scan) {
        result = source->query();
        if (!result.ok()) {
            write(stderr, QStringLiteral("tidewatch-ports: %1\n").arg(result.detail).toUtf8());
            return 1;
        }
    }
    write(stdout,
          parser.isSet(jsonOption) ? formatPortJson(result.ports) : formatPortTable(result.ports));
    return 0;
}
