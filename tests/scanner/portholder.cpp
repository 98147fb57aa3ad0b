// Holds a listening socket for the port-source tests:
//   portholder NAME-IN-HEX PORT [reuseport]
// names itself (PR_SET_NAME, so any bytes), listens on 127.0.0.1:PORT (0 for any), prints
// the port, and exits when its standard input closes.

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

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (argc > 3 && std::strcmp(argv[3], "reuseport") == 0)
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
    std::printf("%d\n", ntohs(address.sin_port));
    std::fflush(stdout);
    char buffer[64];
    while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    return 0;
}
