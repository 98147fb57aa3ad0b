#include "quitsignals.h"

#include "cloexecpipe.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int quitSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The signals reach the event loop as a byte on this pipe.
int signalPipe[2] = {-1, -1};

extern "C" void onQuitSignal(int)
{
    const int saved = errno;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], "x", 1);
    errno = saved;
}

} // namespace

QuitSignals::QuitSignals(QObject* parent) : QObject(parent)
{
    if (signalPipe[0] < 0 &&
        (openCloexecPipe(signalPipe) != 0 || ::fcntl(signalPipe[1], F_SETFL, O_NONBLOCK) != 0))
        return;
    struct sigaction action = {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : quitSignals) {
        if (::sigaction(signal, &action, nullptr) != 0)
            return;
    }
    m_notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [] {
        char bytes[16];
        [[maybe_unused]] const ssize_t read = ::read(signalPipe[0], bytes, sizeof bytes);
        QCoreApplication::quit();
    });
}

QuitSignals::~QuitSignals()
{
    // From here on a signal ends the program again, as it would without us.
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int signal : quitSignals)
        ::sigaction(signal, &action, nullptr);
}
