#include "portwatch.h"

#include "portevents.h"
#include "signalnotifier.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// SIGINT and SIGTERM, which end the loops below (a reader that goes away shows as a failed
// write, not as a signal that kills us).
SignalNotifier* catchStopSignals(QObject* parent)
{
    std::signal(SIGPIPE, SIG_IGN);
    auto* const stopSignals = new SignalNotifier({SIGINT, SIGTERM}, parent);
    if (stopSignals->isActive())
        return stopSignals;
    delete stopSignals;
    return nullptr;
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
    SignalNotifier* const stopSignals = catchStopSignals(&loop);
    if (!stopSignals)
        return false;
    QObject::connect(stopSignals, &SignalNotifier::received, &loop, &QEventLoop::exit);
    return true;
}

int watchPorts(PortSource& source, const std::function<QueryResult()>& first,
               const WatchOptions& options)
{
    const std::unique_ptr<SignalNotifier> stopSignals(catchStopSignals(nullptr));
    if (!stopSignals) {
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
    // The first scan may wait for container names in a loop of its own: the signal is
    // noted, and ends the watch once that scan is done.
    bool stopping = false;
    QObject::connect(stopSignals.get(), &SignalNotifier::received, &loop, [&] {
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
