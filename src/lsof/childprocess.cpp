#include "childprocess.h"

#include "cloexecpipe.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <vector>

extern char** environ;

namespace {

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { reset(); }

    int get() const { return m_fd; }
    void reset()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

void reap(pid_t pid, int* status)
{
    while (::waitpid(pid, status, 0) < 0 && errno == EINTR) {
    }
}

// A child may close its output and still not exit, so the wait is bounded too. Output
// usually ends just before the exit, so the first short sleeps almost always suffice.
bool reapBefore(pid_t pid, int* status, std::chrono::steady_clock::time_point deadline)
{
    auto pause = std::chrono::microseconds(50);
    for (;;) {
        const pid_t done = ::waitpid(pid, status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR))
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        const timespec ts{0, long(std::chrono::nanoseconds(pause).count())};
        ::nanosleep(&ts, nullptr);
        pause = std::min(pause * 2, std::chrono::microseconds(20000));
    }
}

} // namespace

ChildRun ChildRun::run(const QString& program, const QStringList& arguments,
                       std::chrono::milliseconds timeout, qsizetype maxOutput)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    ChildRun result;

    // Close-on-exec, so a child started from another thread at the same moment does not
    // inherit our write end and keep the pipe open past our child's exit.
    int fds[2];
    if (openCloexecPipe(fds) != 0) {
        result.error = errno;
        return result;
    }
    FileDescriptor readEnd(fds[0]);
    FileDescriptor writeEnd(fds[1]);

    const QByteArray programBytes = program.toLocal8Bit();
    std::vector<QByteArray> argBytes;
    argBytes.reserve(size_t(arguments.size()) + 1);
    argBytes.push_back(programBytes);
    for (const QString& argument : arguments)
        argBytes.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& argument : argBytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Its own process group, so a timeout also stops whatever the child started.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);

    pid_t pid = -1;
    const int spawnError =
        ::posix_spawn(&pid, programBytes.constData(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawnError != 0) {
        result.error = spawnError;
        return result;
    }
    writeEnd.reset();

    // Read to the end before waiting, so the child never blocks on a full pipe.
    char buffer[65536];
    bool timedOut = false;
    bool tooMuch = false;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd pfd{readEnd.get(), POLLIN, 0};
        const int ready = ::poll(&pfd, 1, int(std::min<long long>(left.count(), 1 << 30)));
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (ready == 0)
            continue; // the deadline check above ends the loop
        const ssize_t n = ::read(readEnd.get(), buffer, sizeof buffer);
        if (n > 0) {
            if (result.output.size() + n > maxOutput) {
                tooMuch = true;
                break;
            }
            result.output.append(buffer, n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR && errno != EAGAIN) {
            break;
        }
    }
    readEnd.reset();

    if (!timedOut && !tooMuch && reapBefore(pid, &result.exitStatus, deadline)) {
        result.status = Status::Exited;
        return result;
    }
    // Past a bound: stop the child and anything it started, and reap it.
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    reap(pid, &result.exitStatus);
    result.status = tooMuch ? Status::TooMuchOutput : Status::TimedOut;
    result.output.clear();
    return result;
}
