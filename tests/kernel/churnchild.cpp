// A process that the native-source tests drive through changes to its descriptors. It
// says "ok PID" once it runs (again, after an exec), then reads one command a line from
// its standard input, "OP NUMBER TEXT-IN-HEX", carries it out and answers on its standard
// output "ok N" (a port or descriptor; 0: nothing to do) or "fail". It finds its
// descriptors in /proc/self/fd; NUMBER's bits choose among them. Fds 101 and 102 are the
// two ends of a mailbox that all children share, to pass listeners on. It exits when its
// input ends.

#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int mailboxIn = 101, mailboxOut = 102;
// NUMBER's bits; the rest of it (NUMBER >> 3) picks a descriptor.
constexpr unsigned Alternate = 1; // listen: IPv6; drop: something else in its place; send: move
constexpr unsigned CloseOnExec = 2;
constexpr unsigned CloseFile = 4; // listen, receive: also close a /dev/null, keeping the count

std::string self; // the path this program runs under

// A loopback listener on port (0: any) that others may share (SO_REUSEPORT); its port.
int listenOn(int family, int port, bool closeOnExec)
{
    const int fd = ::socket(family, SOCK_STREAM | (closeOnExec ? SOCK_CLOEXEC : 0), 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    sockaddr_in6 address{}; // sin_port and sin6_port lie at the same offset
    socklen_t length = family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    address.sin6_family = sa_family_t(family);
    address.sin6_port = htons(uint16_t(port));
    if (family == AF_INET6)
        address.sin6_addr = in6addr_loopback;
    else
        reinterpret_cast<sockaddr_in&>(address).sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    auto* generic = reinterpret_cast<sockaddr*>(&address);
    if (::bind(fd, generic, length) == 0 && ::listen(fd, 4) == 0 &&
        ::getsockname(fd, generic, &length) == 0)
        return ntohs(address.sin6_port);
    ::close(fd);
    return -1;
}

// Sends fd through the mailbox, or with fd -1 takes the next one out; that descriptor, or
// -1 on failure.
int mail(int fd)
{
    char byte = 0;
    iovec vector{&byte, 1};
    alignas(cmsghdr) char space[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{nullptr, 0, &vector, 1, space, sizeof space, 0};
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
    if (fd >= 0)
        return ::sendmsg(mailboxOut, &message, 0) == 1 ? fd : -1;
    if (::recvmsg(mailboxIn, &message, 0) != 1 || !(header = CMSG_FIRSTHDR(&message)))
        return -1;
    std::memcpy(&fd, CMSG_DATA(header), sizeof fd);
    return fd;
}

int run(char* command)
{
    char* hex = nullptr;
    const unsigned number = unsigned(std::strtoul(command + 1, &hex, 10));
    std::string text;
    for (++hex; hex[0] && hex[0] != '\n' && hex[1]; hex += 2)
        text += char(std::stoi(std::string(hex, 2), nullptr, 16));
    // Listeners and /dev/null descriptors, in ascending order.
    std::vector<int> listeners, files;
    DIR* folder = ::opendir("/proc/self/fd");
    while (const dirent* entry = ::readdir(folder)) {
        const int fd = std::atoi(entry->d_name);
        int listening = 0;
        socklen_t length = sizeof listening;
        struct stat info = {};
        if (fd <= 2 || fd >= mailboxIn || fd == ::dirfd(folder))
            continue;
        const bool isSocket = ::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) == 0;
        if (isSocket && listening)
            listeners.push_back(fd);
        else if (!isSocket && ::fstat(fd, &info) == 0 && S_ISCHR(info.st_mode))
            files.push_back(fd);
    }
    ::closedir(folder);
    const auto pick = [number](const std::vector<int>& fds) {
        return fds.empty() ? -1 : fds[(number >> 3) % fds.size()];
    };
    const int fd = pick(listeners);
    const int file = number & CloseFile ? pick(files) : -1;
    if (fd < 0 && std::strchr("dus", command[0]))
        return 0; // no listener to act on
    switch (command[0]) {
    case 'l': { // listen, on the port TEXT if given
        if (listeners.size() >= 5)
            return 0;
        const int port = listenOn(number & Alternate ? AF_INET6 : AF_INET, std::atoi(text.c_str()),
                                  number & CloseOnExec);
        return port > 0 && (file < 0 || ::close(file) == 0) ? port : -1;
    }
    case 'd': { // drop a listener: close it, or put another listener or /dev/null in its place
        if (!(number & Alternate))
            return ::close(fd) == 0 ? fd : -1;
        if (listeners.size() > 1)
            return ::dup2(listeners[((number >> 3) + 1) % listeners.size()], fd) == fd ? fd : -1;
        const int null = ::open("/dev/null", O_RDONLY);
        return ::dup2(null, fd) == fd && ::close(null) == 0 ? fd : -1;
    }
    case 'u': // stop a listener listening, keeping its descriptor
        return ::shutdown(fd, SHUT_RDWR) == 0 ? fd : -1;
    case 'e': { // exec this program again as TEXT, a link to it in the same folder, its
                // path after (NUMBER >> 3) % 65536 extra slashes as the first argument
        const std::string path = self.substr(0, self.rfind('/') + 1) + text;
        std::string first = std::string((number >> 3) % 65536, '/') + path;
        char* const arguments[] = {first.data(), nullptr};
        ::execv(path.c_str(), arguments);
        return -1;
    }
    case 's': // send a listener to the mailbox, and when moving it, close it here
        return mail(fd) >= 0 && (!(number & Alternate) || ::close(fd) == 0) ? fd : -1;
    case 'g': { // take a listener from the mailbox
        const int received = mail(-1);
        return received >= 0 && (file < 0 || ::close(file) == 0) ? received : -1;
    }
    case 'o': // open /dev/null
        return files.size() < 3 ? ::open("/dev/null", O_RDONLY) : 0;
    case 'n': // take TEXT as the command name
        return ::prctl(PR_SET_NAME, text.c_str()) == 0 ? 0 : -1;
    case 'i': // ignore SIGTERM
        return std::signal(SIGTERM, SIG_IGN) == SIG_ERR ? -1 : 0;
    }
    return -1;
}

} // namespace

int main(int, char** argv)
{
    self = argv[0];
    if (const size_t slashes = self.find_first_not_of('/'); slashes > 1 && slashes != self.npos)
        self.erase(0, slashes - 1);
    std::printf("ok %d\n", int(::getpid()));
    char command[600];
    while (std::fflush(stdout) == 0 && std::fgets(command, sizeof command, stdin)) {
        const int answer = run(command);
        std::printf(answer < 0 ? "fail\n" : "ok %d\n", answer);
    }
}
