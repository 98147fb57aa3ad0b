#include "signalnotifier.h"

#include "cloexecpipe.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A handler may do next to nothing: it writes the signal's number down this pipe, which the
// event loop watches.
int signalPipe[2] = {-1, -1};

extern "C" void onSignal(int signalNumber)
{
    const int saved = errno;
    const char byte = char(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

SignalNotifier::SignalNotifier(const QList<int>& signalNumbers, QObject* parent)
    : QObject(parent), m_signals(signalNumbers)
{
    if (signalPipe[0] < 0 &&
        (openCloexecPipe(signalPipe) != 0 || ::fcntl(signalPipe[1], F_SETFL, O_NONBLOCK) != 0))
        return;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : m_signals) {
        if (::sigaction(signalNumber, &action, nullptr) != 0)
            return;
    }
    m_notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        if (::read(signalPipe[0], &byte, 1) == 1)
            Q_EMIT received(static_cast<unsigned char>(byte));
    });
}

SignalNotifier::~SignalNotifier()
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : m_signals)
        ::sigaction(signalNumber, &action, nullptr);
}
