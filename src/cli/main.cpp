// tidewatch-ports: prints the listening TCP and UDP ports and their owners, for terminals
// and scripts; given port numbers, only their rows. Exit status: 0 on success (without port
// numbers also when nothing listens), 1 when the query failed, 2 on a usage error, 3 when
// nothing listens on any of the ports given.

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

namespace {

void write(std::FILE* stream, const QByteArray& text)
{
    std::fwrite(text.constData(), 1, size_t(text.size()), stream);
    std::fflush(stream);
}

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

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tidewatch-ports"));
    // The help and usage errors in the system's language.
    installTranslations();

    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate(
        "tidewatch-ports",
        "Lists the local TCP ports that listen and the bound, unconnected UDP ports, system "
        "ports included, with the owning process, user, addresses and, for TCP, the established "
        "connections, sorted by port and then process id. Sockets of processes it may not see "
        "are listed by user."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption jsonOption(
        QStringLiteral("json"),
        QCoreApplication::translate("tidewatch-ports",
                                    "Print a JSON array of {\"port\", \"pid\", \"processName\", "
                                    "\"user\", \"addresses\", \"program\", \"unit\", "
                                    "\"container\", \"protocol\", \"connections\", "
                                    "\"started\"} objects; pid and processName are null where "
                                    "the owning process cannot be seen, program, unit and "
                                    "container where there is none, connections for UDP, "
                                    "started (UTC) where it is unknown."));
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
            "tidewatch-ports", "Scan <n> times with the same source and print the last list (to "
                               "measure the cost of a steady scan)."),
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

    const bool parsed = parser.parse(QCoreApplication::arguments());
    bool repeatIsNumber = false;
    const int repeat = parser.value(repeatOption).toInt(&repeatIsNumber);
    QString notAPort;
    const QSet<qint64> asked = portNumbers(parser.positionalArguments(), &notAPort);
    if (!parsed || !notAPort.isNull() || !repeatIsNumber || repeat < 1) {
        QString error = parser.errorText();
        if (error.isEmpty() && !notAPort.isNull())
            error = QCoreApplication::translate("tidewatch-ports",
                                                "not a port number (1 to 65535): \"%1\"")
                        .arg(notAPort);
        else if (error.isEmpty())
            error =
                QCoreApplication::translate(
                    "tidewatch-ports", "--repeat needs a whole number of at least 1, not \"%1\"")
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
    std::shared_ptr<ContainerNames> containerNames;
    if (parser.isSet(lsofOption)) {
        source = std::make_shared<LsofSource>(parser.value(lsofOption));
    } else {
        containerNames = ContainerNames::makeShared();
        source = makePlatformPortSource(containerNames);
    }
    source->setCountConnections(true);

    QueryResult result;
    for (int scan = 0; scan <= repeat; ++scan) {
        // A port proxy's container is named by the engine, asked during the query: once it
        // has answered (or its time is up), one more query uses the name.
        if (scan == repeat) {
            if (!containerNames || !containerNames->isAsking())
                break;
            QEventLoop wait;
            QObject::connect(containerNames.get(), &ContainerNames::answered, &wait,
                             &QEventLoop::quit);
            wait.exec();
        }
        result = source->query();
        if (!result.ok()) {
            write(stderr, QStringLiteral("tidewatch-ports: %1\n").arg(result.detail).toUtf8());
            return 1;
        }
    }
    // --tcp and --udp together are as neither.
    const bool tcp = parser.isSet(tcpOption) || !parser.isSet(udpOption);
    const bool udp = parser.isSet(udpOption) || !parser.isSet(tcpOption);
    result.ports.removeIf([&](const ListeningPort& port) {
        return (!asked.isEmpty() && !asked.contains(port.port())) || !(port.isUdp() ? udp : tcp);
    });
    write(stdout,
          parser.isSet(jsonOption) ? formatPortJson(result.ports) : formatPortTable(result.ports));
    // "if tidewatch-ports 8080; then …" asks whether anything listens there.
    return !asked.isEmpty() && result.ports.isEmpty() ? 3 : 0;
}
