// tidewatch-ports: prints the listening TCP and UDP ports and their owners, for terminals
// and scripts; given port numbers, only their rows. Exit status: 0 on success (without port
// numbers also when nothing listens), 1 when the query failed, 2 on a usage error, 3 when
// nothing listens on any of the ports given. --watch follows the list as it changes,
// --metrics writes it for Prometheus, --host lists other machines' ports over ssh. --free
// ends the ports' owners and reports whether the ports are free: 0 when each is, 4 when
// one still or again listens, 1 when it could not act.

#include "applicationinfo.h"
#include "containernames.h"
#include "lsofsource.h"
#include "metricstext.h"
#include "portfreer.h"
#include "portsource.h"
#include "portsoutput.h"
#include "portwatch.h"
#include "printabletext.h"
#include "remotelister.h"
#include "sshcommand.h"
#include "translations.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSaveFile>
#include <QSet>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
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
    bool watch = false;
    int interval = 5; // seconds between the watch's scans
    bool metrics = false;
    std::optional<QString> metricsFile; // none: the metrics go to standard output
    bool free = false;
    QList<qint64> freePorts; // in the order given
    std::chrono::milliseconds wait{3000};
    bool force = false;
    QStringList hosts; // other machines to list over ssh instead of this one
};

// The source the options name, kept across scans as the app keeps its own.
struct Sources
{
    std::shared_ptr<PortSource> source;
    std::shared_ptr<ContainerNames> containerNames; // none for lsof
};

// How the program ends: what it prints where, and its exit status.
struct Outcome
{
    int status = 0;
    QByteArray out;
    QByteArray err;
};

// The port numbers asked about, each once in the order given; the first argument that is
// none, if any. Decimal digits only, 1 to 65535: no sign, space or other base, as pkexec
// passes the arguments of a user who may not be trusted.
QList<qint64> portNumbers(const QStringList& arguments, QString* wrong)
{
    QList<qint64> ports;
    for (const QString& argument : arguments) {
        const bool digits = !argument.isEmpty() && argument.size() <= 5 &&
                            std::all_of(argument.begin(), argument.end(),
                                        [](QChar c) { return c >= u'0' && c <= u'9'; });
        const int port = digits ? argument.toInt() : 0;
        if (port < 1 || port > 65535) {
            *wrong = argument;
            return {};
        }
        if (!ports.contains(port))
            ports.append(port);
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

// What is wrong with the options that --free takes or leaves, if anything. Run by pkexec,
// the program takes nothing else: an option that runs a program or writes a file would do
// so as root.
QString freeUsageError(const QCommandLineParser& parser, const Options& options)
{
    const QStringList freeing = {
        QStringLiteral("free"),    QStringLiteral("wait"), QStringLiteral("force"),
        QStringLiteral("tcp"),     QStringLiteral("udp"),  QStringLiteral("help"),
        QStringLiteral("h"),       QStringLiteral("?"),    QStringLiteral("help-all"),
        QStringLiteral("version"), QStringLiteral("v")};
    const bool byPkexec = qEnvironmentVariableIsSet("PKEXEC_UID");
    for (const QString& name : parser.optionNames()) {
        if (options.free && !freeing.contains(name))
            return QCoreApplication::translate("tidewatch-ports", "--free does not go with --%1")
                .arg(name);
        if (!options.free && (name == freeing[1] || name == freeing[2]))
            return QCoreApplication::translate("tidewatch-ports", "--%1 goes with --free only")
                .arg(name);
    }
    if (byPkexec && !options.free)
        return QCoreApplication::translate("tidewatch-ports",
                                           "run by pkexec, only --free is taken");
    if (options.free && options.freePorts.isEmpty())
        return QCoreApplication::translate("tidewatch-ports", "--free needs at least one port");
    return {};
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
    const QCommandLineOption watchOption(
        QStringLiteral("watch"),
        QCoreApplication::translate(
            "tidewatch-ports",
            "Print the records, then each record that appears or goes as the scans find it, "
            "until interrupted; with --json as JSON Lines with \"event\" (\"listening\" or "
            "\"closed\") and \"time\"."));
    const QCommandLineOption intervalOption(
        QStringLiteral("interval"),
        QCoreApplication::translate("tidewatch-ports",
                                    "Scan every <seconds> (1 to 3600) with --watch."),
        QCoreApplication::translate("tidewatch-ports", "seconds"), QStringLiteral("5"));
    const QCommandLineOption metricsOption(
        QStringLiteral("metrics"),
        QCoreApplication::translate("tidewatch-ports",
                                    "Print the records as Prometheus metrics (text format)."));
    const QCommandLineOption metricsFileOption(
        QStringLiteral("metrics-file"),
        QCoreApplication::translate(
            "tidewatch-ports",
            "Write the metrics to <path> at once, as a new file that replaces the old one "
            "(for the node exporter's textfile collector)."),
        QCoreApplication::translate("tidewatch-ports", "path"));
    const QCommandLineOption hostOption(
        QStringLiteral("host"),
        QCoreApplication::translate(
            "tidewatch-ports",
            "List the ports of <host> instead of this machine's, over ssh with your own "
            "configuration, keys and agent (no password prompt, 20 s at most), read there by "
            "tidewatch-ports, ss or /proc/net; may be given more than once. The JSON records "
            "gain \"host\" and \"source\"."),
        QCoreApplication::translate("tidewatch-ports", "host"));
    parser.addOption(jsonOption);
    parser.addOption(tcpOption);
    parser.addOption(udpOption);
    parser.addOption(lsofOption);
    parser.addOption(repeatOption);
    parser.addOption(watchOption);
    parser.addOption(intervalOption);
    parser.addOption(metricsOption);
    const QCommandLineOption freeOption(
        QStringLiteral("free"),
        QCoreApplication::translate(
            "tidewatch-ports",
            "End the processes that listen on the ports given, wait until the ports are free "
            "and print one line per port: free, still listening, or listening again and who "
            "restarted it. Exit status 0 when every port is free, 4 when one still or again "
            "listens, 1 when an owner is not ours to end (nothing is ended on its port)."));
    const QCommandLineOption waitOption(
        QStringLiteral("wait"),
        QCoreApplication::translate("tidewatch-ports",
                                    "Wait up to <seconds> (0.1 to 60) for the ports to be free "
                                    "with --free."),
        QCoreApplication::translate("tidewatch-ports", "seconds"), QStringLiteral("3"));
    const QCommandLineOption forceOption(
        QStringLiteral("force"),
        QCoreApplication::translate(
            "tidewatch-ports",
            "With --free, kill (SIGKILL) an owner still running after the wait, and wait again."));
    parser.addOption(metricsFileOption);
    parser.addOption(freeOption);
    parser.addOption(waitOption);
    parser.addOption(forceOption);
    parser.addOption(hostOption);
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
    const QList<qint64> ports = portNumbers(parser.positionalArguments(), &notAPort);
    options.ports = QSet<qint64>(ports.begin(), ports.end());
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
    options.watch = parser.isSet(watchOption);
    options.metrics = parser.isSet(metricsOption) || parser.isSet(metricsFileOption);
    if (parser.isSet(metricsFileOption))
        options.metricsFile.emplace(parser.value(metricsFileOption));
    bool intervalIsNumber = false;
    options.interval = parser.value(intervalOption).toInt(&intervalIsNumber);
    if (!intervalIsNumber || options.interval < 1 || options.interval > 3600)
        return usageError(QCoreApplication::translate(
                              "tidewatch-ports",
                              "--interval needs a whole number from 1 to 3600, not \"%1\"")
                              .arg(parser.value(intervalOption)));
    if (options.watch && options.metrics)
        return usageError(QCoreApplication::translate(
            "tidewatch-ports", "--watch and --metrics do not go together"));
    options.free = parser.isSet(freeOption);
    options.freePorts = ports;
    options.force = parser.isSet(forceOption);
    bool waitIsNumber = false;
    const double wait = parser.value(waitOption).toDouble(&waitIsNumber);
    if (!waitIsNumber || !(wait >= 0.1 && wait <= 60))
        return usageError(
            QCoreApplication::translate(
                "tidewatch-ports", "--wait needs a number of seconds from 0.1 to 60, not \"%1\"")
                .arg(parser.value(waitOption)));
    options.wait = std::chrono::milliseconds(qRound64(wait * 1000));
    if (const QString error = freeUsageError(parser, options); !error.isEmpty())
        return usageError(error);
    options.hosts = parser.values(hostOption);
    options.hosts.removeDuplicates();
    for (const QString& host : std::as_const(options.hosts)) {
        if (!SshCommand::isUsableHost(host))
            return usageError(
                QCoreApplication::translate("tidewatch-ports", "not a host name: \"%1\"")
                    .arg(escapedText(host)));
    }
    if (!options.hosts.isEmpty() &&
        (options.watch || options.metrics || options.lsofPath || parser.isSet(repeatOption)))
        return usageError(QCoreApplication::translate(
            "tidewatch-ports", "--host does not go with --watch, --metrics, --lsof or --repeat"));
    if (parser.isSet(helpOption))
        return Outcome{0, helpText(parser).toUtf8(), {}};
    if (parser.isSet(versionOption)) {
        const QString version = programName + u' ' + QCoreApplication::applicationVersion();
        return Outcome{0, (version + u'\n').toUtf8(), {}};
    }
    return options;
}

Sources makeSources(const Options& options)
{
    Sources sources;
    if (options.lsofPath) {
        sources.source = std::make_shared<LsofSource>(*options.lsofPath);
    } else {
        sources.containerNames = ContainerNames::makeShared();
        sources.source = makePlatformPortSource(sources.containerNames);
    }
    // The watch leaves connections uncounted: a count that changes is no event, and counting
    // would add to every scan.
    sources.source->setCountConnections(!options.watch);
    return sources;
}

// Queries the source as often as the options say; the last answer counts, and SECONDS, when
// given, is how long it took.
QueryResult queryPorts(const Sources& sources, int repeat, double* seconds = nullptr)
{
    QueryResult result;
    for (int scan = 0; scan <= repeat; ++scan) {
        // A port proxy's container is named by the engine, asked during the query: once it
        // has answered (or its time is up), one more query uses the name.
        if (scan == repeat) {
            if (!sources.containerNames || !sources.containerNames->isAsking())
                break;
            QEventLoop wait;
            QObject::connect(sources.containerNames.get(), &ContainerNames::answered, &wait,
                             &QEventLoop::quit);
            wait.exec();
        }
        QElapsedTimer clock;
        clock.start();
        result = sources.source->query();
        if (seconds)
            *seconds = double(clock.nsecsElapsed()) / 1e9;
        if (!result.ok())
            break;
    }
    return result;
}

// Whether the options ask about the record.
bool isWanted(const Options& options, const ListeningPort& port)
{
    return (options.ports.isEmpty() || options.ports.contains(port.port())) &&
           (port.isUdp() ? options.udp : options.tcp);
}

Outcome failed(const QueryResult& result)
{
    return {1, {}, (programName + u": " + result.detail + u'\n').toUtf8()};
}

// The metrics on standard output, or in their file, replaced at once: the collector never
// reads half a file, and a failed write leaves the old one as it was.
Outcome writeMetrics(const Options& options)
{
    double seconds = 0;
    QueryResult result = queryPorts(makeSources(options), options.repeat, &seconds);
    if (!result.ok())
        return failed(result);
    result.ports.removeIf([&](const ListeningPort& port) { return !isWanted(options, port); });
    QByteArrayList protocols;
    if (options.tcp)
        protocols.append("tcp");
    if (options.udp)
        protocols.append("udp");
    const QByteArray text = formatMetrics(result.ports, protocols, seconds);
    if (!options.metricsFile)
        return {0, text, {}};
    QSaveFile file(*options.metricsFile);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        return {1, {},
                (programName + u": " +
                 QCoreApplication::translate("tidewatch-ports", "cannot write %1: %2")
                     .arg(*options.metricsFile, file.errorString()) +
                 u'\n')
                    .toUtf8()};
    return {};
}

// Ends the owners of the ports asked about and reports on each, one line a port.
Outcome freePorts(const Options& options)
{
    const Sources sources = makeSources(options);
    sources.source->setCountConnections(false);
    PortFreer freer([&] { return sources.source->query(); });
    if (sources.containerNames) {
        ContainerNames* const names = sources.containerNames.get();
        freer.setContainerNamer([names](const QString& id) {
            QEventLoop wait;
            QObject::connect(names, &ContainerNames::answered, &wait, &QEventLoop::quit);
            names->ask();
            if (names->isAsking())
                wait.exec();
            return names->nameAt(id);
        });
    }
    FreeRequest request;
    request.ports = options.freePorts;
    request.tcp = options.tcp;
    request.udp = options.udp;
    request.wait = options.wait;
    request.force = options.force;
    const FreeReport report = freer.free(request);
    if (!report.error.isEmpty())
        return {1, {}, (programName + u": " + report.error + u'\n').toUtf8()};
    QString out;
    for (const FreeResult& result : report.results)
        out += freeResultLine(result) + u'\n';
    return {report.exitStatus(), out.toUtf8(), {}};
}

int watchPorts(const Options& options)
{
    const Sources sources = makeSources(options);
    WatchOptions watch;
    watch.interval = std::chrono::seconds(options.interval);
    watch.json = options.json;
    watch.wanted = [&](const ListeningPort& port) { return isWanted(options, port); };
    return watchPorts(*sources.source, [&] { return queryPorts(sources, 1); }, watch);
}

// The list in the form asked for, only the ports asked about.
Outcome listPorts(const Options& options)
{
    QueryResult result = queryPorts(makeSources(options), options.repeat);
    if (!result.ok())
        return failed(result);
    result.ports.removeIf([&](const ListeningPort& port) { return !isWanted(options, port); });
    // "if tidewatch-ports 8080; then …" asks whether anything listens there.
    const bool noneAsked = !options.ports.isEmpty() && result.ports.isEmpty();
    return {noneAsked ? 3 : 0,
            options.json ? formatPortJson(result.ports) : formatPortTable(result.ports),
            {}};
}

// The other machines' lists, asked for all at once; each host's reason on standard error.
Outcome listRemotePorts(const Options& options)
{
    QList<RemoteListing> listings(options.hosts.size());
    std::vector<std::unique_ptr<RemoteLister>> listers;
    qsizetype running = options.hosts.size();
    QEventLoop wait;
    for (qsizetype i = 0; i < options.hosts.size(); ++i) {
        listers.push_back(std::make_unique<RemoteLister>(options.hosts[i]));
        QObject::connect(listers.back().get(), &RemoteLister::finished, &wait,
                         [&, i](const RemoteListing& listing) {
                             listings[i] = listing;
                             if (--running == 0)
                                 wait.quit();
                         });
        listers.back()->list();
    }
    // Each ssh runs in a group of its own, which a terminal's ^C does not reach: it is ended
    // here, then the signal ends us as it would have.
    endOnStopSignals(wait);
    if (const int signal = wait.exec(); signal != 0) {
        listers.clear();
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
    Outcome outcome;
    bool anyListed = false;
    for (RemoteListing& listing : listings) {
        listing.ports.removeIf([&](const ListeningPort& port) { return !isWanted(options, port); });
        anyListed = anyListed || !listing.ports.isEmpty();
        if (!listing.ok()) {
            outcome.status = 1;
            outcome.err += (programName + u": ").toUtf8() + terminalText(listing.host) + ": " +
                           terminalText(listing.reason) + '\n';
        }
    }
    listings.removeIf([](const RemoteListing& listing) { return !listing.ok(); });
    outcome.out = options.json ? formatRemoteJson(listings) : formatRemoteTable(listings);
    if (outcome.status == 0 && !options.ports.isEmpty() && !anyListed)
        outcome.status = 3;
    return outcome;
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
    const Options& options = std::get<Options>(parsed);
    if (options.watch)
        return watchPorts(options);
    if (options.free)
        return finish(freePorts(options));
    if (!options.hosts.isEmpty())
        return finish(listRemotePorts(options));
    return finish(options.metrics ? writeMetrics(options) : listPorts(options));
}
