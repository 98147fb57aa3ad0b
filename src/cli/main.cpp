// tidewatch-ports: prints the listening TCP and UDP ports and their owners, for terminals
// and scripts; given port numbers, only their rows. Exit status: 0 on success (without port
// numbers also when nothing listens), 1 when the query failed, 2 on a usage error, 3 when
// nothing listens on any of the ports given.

#include "applicationinfo.h"
#include "containernames.h"
#include "lsofsource.h"
#include "portsource.h"
#include "portsoutput.h"
#include "translations.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QSet>

#include <cstdio>
#include <optional>
#include <variant>

namespace {

const QString programName = QStringLiteral("tidewatch-ports");

// What the command line asks for.
struct Options
{
    bool json = false;
    std::optional<QString> lsofPath; // none: the platform's own source
    int repeat = 1;
    QSet<qint64> ports; // empty: every port
    bool tcp = true;
    bool udp = true;
};

// How the program ends: what it prints where, and its exit status.
struct Outcome
{
    int status = 0;
    QByteArray out;
    QByteArray err;
};

// The port numbers asked about; the first argument that is none (1 to 65535), if any.
QSet<qint64> portNumbers(const QStringList& arguments, QString* wrong)
{
    QSet<qint64> ports;
    for (const QString& argument : arguments) {
        bool isNumber = false;
        const int port = argument.toInt(&isNumber);
        if (!isNumber || port < 1 || port > 65535) {
            *wrong = argument;
            return {};
        }
        ports.insert(port);
    }
    return ports;
}

// The help text, its usage line naming the program rather than the path it was started by.
QString helpText(const QCommandLineParser& parser)
{
    QString help = parser.helpText();
    // "Usage: PATH [options]", in any language: PATH stands between spaces.
    const QString invokedAs = u' ' + QCoreApplication::arguments().value(0) + u' ';
    const qsizetype at = help.indexOf(invokedAs);
    if (at >= 0 && at < help.indexOf(u'\n'))
        help.replace(at, invokedAs.size(), u' ' + programName + u' ');
    return help;
}

// The options, or how to end at once: with the help, the version or a usage error.
std::variant<Options, Outcome> parseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate(
        "tidewatch-ports",
        "Lists the local TCP ports that listen and the bound, unconnected UDP ports, system "
        "ports included, with the owning process, user, addresses and, for TCP, the established "
        "connections, sorted by port and then process id. Sockets of processes it may not see "
        "are listed by user."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption jsonOption(
        QStringLiteral("json"),
        QCoreApplication::translate(
            "tidewatch-ports",
            "Print a JSON array of {\"port\", \"pid\", \"processName\", \"user\", \"addresses\", "
            "\"program\", \"unit\", \"container\", \"protocol\", \"connections\", "
            "\"started\"} objects; pid is null where the owning process cannot be seen, "
            "processName where the source names none, program, unit and container where there "
            "is none, connections for UDP, started (UTC) where it is unknown."));
    const QCommandLineOption tcpOption(
        QStringLiteral("tcp"),
        QCoreApplication::translate("tidewatch-ports", "List TCP ports only."));
    const QCommandLineOption udpOption(
        QStringLiteral("udp"),
        QCoreApplication::translate("tidewatch-ports", "List UDP ports only."));
    const QCommandLineOption lsofOption(
        QStringLiteral("lsof"),
        QCoreApplication::translate("tidewatch-ports",
                                    "Ask the lsof executable at <path> instead."),
        QCoreApplication::translate("tidewatch-ports", "path"));
    const QCommandLineOption repeatOption(
        QStringLiteral("repeat"),
        QCoreApplication::translate(
            "tidewatch-ports",
            "Scan <n> times with the same source and print the last list (to measure the cost "
            "of a steady scan)."),
        QCoreApplication::translate("tidewatch-ports", "n"), QStringLiteral("1"));
    parser.addOption(jsonOption);
    parser.addOption(tcpOption);
    parser.addOption(udpOption);
    parser.addOption(lsofOption);
    parser.addOption(repeatOption);
    parser.addPositionalArgument(
        QStringLiteral("PORT"),
        QCoreApplication::translate("tidewatch-ports",
                                    "Print only the rows of these ports, and exit with status 3 "
                                    "when nothing listens on any of them."),
        QStringLiteral("[PORT...]"));

    const auto usageError = [&](const QString& error) {
        return Outcome{2, {}, (programName + u": " + error + u"\n\n" + helpText(parser)).toUtf8()};
    };
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    Options options;
    options.json = parser.isSet(jsonOption);
    // --tcp and --udp together are as neither.
    options.tcp = parser.isSet(tcpOption) || !parser.isSet(udpOption);
    options.udp = parser.isSet(udpOption) || !parser.isSet(tcpOption);
    if (parser.isSet(lsofOption))
        options.lsofPath = parser.value(lsofOption);
    QString notAPort;
    options.ports = portNumbers(parser.positionalArguments(), &notAPort);
    if (!notAPort.isNull())
        return usageError(
            QCoreApplication::translate("tidewatch-ports", "not a port number (1 to 65535): \"%1\"")
                .arg(notAPort));
    bool repeatIsNumber = false;
    options.repeat = parser.value(repeatOption).toInt(&repeatIsNumber);
    if (!repeatIsNumber || options.repeat < 1)
        return usageError(
            QCoreApplication::translate("tidewatch-ports",
                                        "--repeat needs a whole number of at least 1, not \"%1\"")
                .arg(parser.value(repeatOption)));
    if (parser.isSet(helpOption))
        return Outcome{0, helpText(parser).toUtf8(), {}};
    if (parser.isSet(versionOption)) {
        const QString version = programName + u' ' + QCoreApplication::applicationVersion();
        return Outcome{0, (version + u'\n').toUtf8(), {}};
    }
    return options;
}

// Queries the source the options name as often as they say; the last answer counts.
QueryResult queryPorts(const Options& options)
{
    std::shared_ptr<PortSource> source;
    std::shared_ptr<ContainerNames> containerNames;
    if (options.lsofPath) {
        source = std::make_shared<LsofSource>(*options.lsofPath);
    } else {
        containerNames = ContainerNames::makeShared();
        source = makePlatformPortSource(containerNames);
    }
    source->setCountConnections(true);
    QueryResult result;
    for (int scan = 0; scan <= options.repeat; ++scan) {
        // A port proxy's container is named by the engine, asked during the query: once it
        // has answered (or its time is up), one more query uses the name.
        if (scan == options.repeat) {
            if (!containerNames || !containerNames->isAsking())
                break;
            QEventLoop wait;
            QObject::connect(containerNames.get(), &ContainerNames::answered, &wait,
                             &QEventLoop::quit);
            wait.exec();
        }
        result = source->query();
        if (!result.ok())
            break;
    }
    return result;
}

// The list in the form asked for, only the ports asked about.
Outcome listPorts(const Options& options)
{
    QueryResult result = queryPorts(options);
    if (!result.ok())
        return {1, {}, (programName + u": " + result.detail + u'\n').toUtf8()};
    result.ports.removeIf([&](const ListeningPort& port) {
        return (!options.ports.isEmpty() && !options.ports.contains(port.port())) ||
               !(port.isUdp() ? options.udp : options.tcp);
    });
    // "if tidewatch-ports 8080; then …" asks whether anything listens there.
    const bool noneAsked = !options.ports.isEmpty() && result.ports.isEmpty();
    return {noneAsked ? 3 : 0,
            options.json ? formatPortJson(result.ports) : formatPortTable(result.ports),
            {}};
}

void write(std::FILE* stream, const QByteArray& text)
{
    std::fwrite(text.constData(), 1, size_t(text.size()), stream);
    std::fflush(stream);
}

int finish(const Outcome& outcome)
{
    write(stdout, outcome.out);
    write(stderr, outcome.err);
    return outcome.status;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(programName);
    QCoreApplication::setApplicationVersion(ApplicationInfo::fromBuild().version);
    // The help and usage errors in the system's language.
    installTranslations();

    const auto parsed = parseCommandLine(QCoreApplication::arguments());
    if (const auto* outcome = std::get_if<Outcome>(&parsed))
        return finish(*outcome);
    return finish(listPorts(std::get<Options>(parsed)));
}
