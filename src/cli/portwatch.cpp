#include "portwatch.h"

#include "cloexecpipe.h"
#include "portevents.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// SIGINT and SIGTERM reach the event loop as a byte on this pipe: the signal's number.
int signalPipe[2] = {-1, -1};

extern "C" void onStopSignal(int signal)
{
    const int saved = errno;
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

bool catchStopSignals()
{
    if (openCloexecPipe(signalPipe) != 0 || ::fcntl(signalPipe[1], F_SETFL, O_NONBLOCK) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // A reader that goes away shows as a failed write, not as a signal that kills us.
    std::signal(SIGPIPE, SIG_IGN);
    return ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0;
}

// Whether nobody reads standard output any more: a pipe whose reader closed it, a terminal
// that hung up. Checked after quiet scans too, which write nothing that could fail.
bool outputClosed()
{
    pollfd output = {STDOUT_FILENO, 0, 0};
    return ::poll(&output, 1, 0) > 0 && (output.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
}

// False when the text could not be written, which only a closed output makes happen.
bool writeOut(const QByteArray& text)
{
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

} // namespace

bool endOnStopSignals(QEventLoop& loop)
{
    if (!catchStopSignals())
        return false;
    auto* const stopSignal = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &loop);
    QObject::connect(stopSignal, &QSocketNotifier::activated, &loop, [&loop] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(signalPipe[0], &byte, 1);
        loop.exit(byte);
    });
    return true;
}

int watchPorts(PortSource& source, const std::function<QueryResult()>& first,
               const WatchOptions& options)
{
    if (!catchStopSignals()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                     std::strerror(errno));
        return 1;
    }
    QList<ListeningPort> last;
    QList<ListeningPort> lastAnswer; // the source's, unfiltered
    // False once the output is gone.
    const auto report = [&](QueryResult result) {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        if (!result.ok()) {
            const QString message = QCoreApplication::applicationName() + u": " + result.detail + u'\n';
            std::fputs(message.toLocal8Bit().constData(), stderr);
            return !outputClosed();
        }
        // A steady source hands out the very list it gave before when nothing changed: the
        // usual scan at rest ends here.
        if (!lastAnswer.isEmpty() && result.ports.constData() == lastAnswer.constData())
            return !outputClosed();
        lastAnswer = result.ports;
        result.ports.removeIf([&](const ListeningPort& port) { return !options.wanted(port); });
        QByteArray text;
        for (const PortEvent& event : portEvents(last, result.ports))
            text += options.json ? formatEventJson(event, now) : formatEventLine(event, now);
        last = std::move(result.ports);
        return text.isEmpty() ? !outputClosed() : writeOut(text);
    };

    QEventLoop loop;
    QSocketNotifier stopSignal(signalPipe[0], QSocketNotifier::Read);
    // The first scan may wait for container names in a loop of its own: the signal is taken
    // off the pipe and noted, so that one is not woken over and over.
    bool stopping = false;
    QObject::connect(&stopSignal, &QSocketNotifier::activated, &loop, [&] {
        char byte;
        [[maybe_unused]] const ssize_t read = ::read(signalPipe[0], &byte, 1);
        stopping = true;
        loop.exit(0);
    });
    if (!report(first()) || stopping)
        return 0;
    QTimer scans;
    scans.setInterval(options.interval);
    QObject::connect(&scans, &QTimer::timeout, &loop, [&] {
        if (!report(source.query()))
            loop.exit(0);
    });
    scans.start();
    // A pipe's reader going away wakes us at once, not only at the next scan.
    std::optional<QSocketNotifier> readerGone;
    struct stat output = {};
    if (::fstat(STDOUT_FILENO, &output) == 0 && S_ISFIFO(output.st_mode)) {
        readerGone.emplace(STDOUT_FILENO, QSocketNotifier::Exception);
        QObject::connect(&*readerGone, &QSocketNotifier::activated, &loop, [&] {
            if (outputClosed())
                loop.exit(0);
            else
                readerGone->setEnabled(false);
        });
    }
    return loop.exec();
}
