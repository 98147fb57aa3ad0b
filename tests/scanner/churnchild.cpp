// A process that the differential test drives through listening-socket changes:
//   churnchild CONTROL-FD
// It says it is ready (a Reply carrying its pid) on the control socket, then carries out
// one ChurnChild::Command at a time, answering each, and exits when the socket closes.

#include "churnchild.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace ChurnChild;

namespace {

int control = -1;

void send(const Reply& reply, int attached = -1)
{
    if (!sendMessage(control, &reply, sizeof reply, attached))
        ::_exit(3);
}

// A loopback listener on port (0: any). SO_REUSEPORT lets a restart take the port back
// while another process still holds the old socket.
Reply listenOn(int family, int port, bool closeOnExec)
{
    Reply reply;
    const int fd = ::socket(family, SOCK_STREAM | (closeOnExec ? SOCK_CLOEXEC : 0), 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    sockaddr_in6 v6{};
    sockaddr_in v4{};
    v6.sin6_family = AF_INET6;
    v6.sin6_addr = in6addr_loopback;
    v6.sin6_port = htons(uint16_t(port));
    v4.sin_family = AF_INET;
    v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    v4.sin_port = v6.sin6_port;
    auto* address =
        family == AF_INET6 ? reinterpret_cast<sockaddr*>(&v6) : reinterpret_cast<sockaddr*>(&v4);
    socklen_t length = family == AF_INET6 ? sizeof v6 : sizeof v4;
    if (fd < 0 || ::bind(fd, address, length) != 0 || ::listen(fd, 4) != 0 ||
        ::getsockname(fd, address, &length) != 0)
        return reply;
    reply.ok = 1;
    reply.fd = fd;
    reply.port = ntohs(family == AF_INET6 ? v6.sin6_port : v4.sin_port);
    return reply;
}

Reply restart(int fd)
{
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0)
        return Reply{};
    int closeOnExec = ::fcntl(fd, F_GETFD);
    ::close(fd);
    const int port = storage.ss_family == AF_INET6
                         ? ntohs(reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port)
                         : ntohs(reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
    return listenOn(storage.ss_family, port, closeOnExec > 0 && (closeOnExec & FD_CLOEXEC));
}

Reply forkChild()
{
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0)
        return Reply{};
    const pid_t pid = ::fork();
    if (pid < 0)
        return Reply{};
    if (pid == 0) {
        ::close(control);
        ::close(pair[0]);
        control = pair[1];
        Reply ready;
        ready.ok = 1;
        ready.pid = int(::getpid());
        send(ready);
        return Reply{-1, -1, 0, 0}; // nothing to answer: the parent answers the fork
    }
    Reply reply;
    reply.ok = 1;
    reply.pid = int(pid);
    send(reply, pair[0]);
    ::close(pair[0]);
    ::close(pair[1]);
    return Reply{-1, -1, 0, 0};
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    control = std::atoi(argv[1]);
    ::signal(SIGCHLD, SIG_IGN); // forked children reap themselves
    ::fcntl(control, F_SETFD, FD_CLOEXEC);
    Reply ready;
    ready.ok = 1;
    ready.pid = int(::getpid());
    send(ready);

    Command command;
    int attached = -1;
    // Received descriptors stay open across an exec unless a test closes them.
    while (receiveMessage(control, &command, sizeof command, attached, 0)) {
        Reply reply;
        reply.ok = 1;
        switch (command.op) {
        case Op::Listen:
            reply =
                listenOn(command.flags & Ipv6 ? AF_INET6 : AF_INET, 0, command.flags & CloseOnExec);
            if (reply.ok && command.fd >= 0)
                reply.ok = ::close(command.fd) == 0;
            break;
        case Op::Close:
            reply.ok = ::close(command.fd) == 0;
            break;
        case Op::ReplaceWithFile: {
            const int file = ::open("/dev/null", O_RDONLY);
            reply.ok = file >= 0 && ::dup2(file, command.fd) == command.fd;
            ::close(file);
            break;
        }
        case Op::Restart:
            reply = restart(command.fd);
            break;
        case Op::Fork:
            reply = forkChild();
            break;
        case Op::Send:
            send(reply, command.fd);
            if (command.flags & Move)
                ::close(command.fd);
            reply.ok = -1;
            break;
        case Op::Receive:
            reply.fd = attached;
            reply.ok = attached >= 0;
            break;
        case Op::ReceiveClosing:
            reply.fd = attached;
            reply.ok = attached >= 0 && ::close(command.fd) == 0;
            break;
        case Op::OpenFile:
            reply.fd = ::open("/dev/null", O_RDONLY);
            reply.ok = reply.fd >= 0;
            break;
        case Op::Exec: {
            ::fcntl(control, F_SETFD, 0);
            char number[16];
            std::snprintf(number, sizeof number, "%d", control);
            char* const arguments[] = {command.path, number, nullptr};
            ::execv(command.path, arguments);
            ::fcntl(control, F_SETFD, FD_CLOEXEC);
            reply.ok = 0;
            break;
        }
        case Op::Exit:
            ::_exit(0);
        case Op::Sync:
            break;
        }
        if (reply.ok >= 0)
            send(reply);
    }
    return 0;
}
