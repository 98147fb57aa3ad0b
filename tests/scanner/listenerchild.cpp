// A process for the kill tests: listens on a loopback port chosen by the kernel, prints
// that port, then waits until a signal ends it. With --ignore-term it ignores SIGTERM.

#include <csignal>
#include <cstdio>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--ignore-term") == 0)
        std::signal(SIGTERM, SIG_IGN);

    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 1) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 1;

    // The port goes out only once the signal disposition is set, so the parent can act.
    std::printf("%d\n", ntohs(address.sin_port));
    std::fflush(stdout);
    for (;;)
        ::pause();
}
