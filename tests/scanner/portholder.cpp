// Holds a listening socket for the port-source tests:
//   portholder NAME-IN-HEX PORT [reuseport|dual]
// names itself (PR_SET_NAME, so any bytes), listens on 127.0.0.1:PORT (0 for any), with
// "dual" on [::1] at the same port as well, prints the port, and exits when its standard
// input closes. Exit status 3: no IPv6 loopback.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    std::string name;
    for (const char* hex = argv[1]; hex[0] && hex[1]; hex += 2)
        name += char(std::strtol(std::string(hex, 2).c_str(), nullptr, 16));
    ::prctl(PR_SET_NAME, name.c_str());
    const std::string option = argc > 3 ? argv[3] : "";

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (option == "reuseport")
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(uint16_t(std::atoi(argv[2])));
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 4) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 1;
    if (option == "dual") {
        const int fd6 = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ::setsockopt(fd6, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
        sockaddr_in6 address6{};
        address6.sin6_family = AF_INET6;
        address6.sin6_addr = in6addr_loopback;
        address6.sin6_port = address.sin_port;
        if (fd6 < 0 || ::bind(fd6, reinterpret_cast<sockaddr*>(&address6), sizeof address6) != 0 ||
            ::listen(fd6, 4) != 0)
            return 3;
    }
    std::printf("%d\n", ntohs(address.sin_port));
    std::fflush(stdout);
    char buffer[64];
    while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    return 0;
}
