#include "sessionbus.h"

#include <QList>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <functional>
#include <optional>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// A socket closed when it goes out of scope.
struct Socket
{
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    ~Socket()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// The value of `key` in an address entry's "key=value,..." list, %XX unescaped.
std::optional<QByteArray> addressValue(const QByteArray& entry, const QByteArray& key)
{
    for (const QByteArray& pair : entry.mid(entry.indexOf(':') + 1).split(',')) {
        if (pair.startsWith(QByteArray(key + "=")))
            return QByteArray::fromPercentEncoding(pair.mid(key.size() + 1));
    }
    return std::nullopt;
}

// Whether `fd` is ready for `events` before the deadline.
bool waitFor(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd poller{fd, events, 0};
        const int ready = ::poll(&poller, 1, int(left.count()));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

void appendUint32(QByteArray& message, quint32 value)
{
    for (int shift = 0; shift < 32; shift += 8)
        message.append(char((value >> shift) & 0xff));
}

// org.freedesktop.DBus.Hello, the first call of every client: a little-endian method call
// without a body, serial 1, and its four header fields.
QByteArray helloMessage()
{
    QByteArray message("l\1\0\1", 4);
    appendUint32(message, 0); // body length
    appendUint32(message, 1); // serial
    appendUint32(message, 0); // the fields' length, set below
    const qsizetype fieldsStart = message.size();
    const auto field = [&message](char code, char type, const QByteArray& value) {
        message.append((8 - message.size() % 8) % 8, '\0');
        message.append(code).append('\1').append(type).append('\0');
        appendUint32(message, quint32(value.size()));
        message.append(value).append('\0');
    };
    field(1, 'o', "/org/freedesktop/DBus");
    field(6, 's', "org.freedesktop.DBus");
    field(2, 's', "org.freedesktop.DBus");
    field(3, 's', "Hello");
    const quint32 fieldsLength = quint32(message.size() - fieldsStart);
    for (int i = 0; i < 4; ++i)
        message[12 + i] = char((fieldsLength >> (8 * i)) & 0xff);
    message.append((8 - message.size() % 8) % 8, '\0');
    return message;
}

// Sends `data`, then reads until `isWhole` says the answer is; nothing when the deadline
// passes first. A connection the bus closes or breaks ends the answer: Qt fails at once too.
std::optional<QByteArray> exchange(int fd, const QByteArray& data,
                                   const std::function<bool(const QByteArray&)>& isWhole,
                                   Clock::time_point deadline)
{
    for (qsizetype sent = 0; sent < data.size();) {
        if (!waitFor(fd, POLLOUT, deadline))
            return std::nullopt;
        const ssize_t n =
            ::send(fd, data.constData() + sent, size_t(data.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno != EINTR && errno != EAGAIN)
            return QByteArray();
        sent += std::max<ssize_t>(n, 0);
    }
    QByteArray received;
    while (!isWhole(received)) {
        if (!waitFor(fd, POLLIN, deadline))
            return std::nullopt;
        char buffer[256];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
            break;
        received.append(buffer, std::max<ssize_t>(n, 0));
    }
    return received;
}

// Connects to one unix: address entry; false when nothing listens there.
bool connectTo(int fd, const QByteArray& entry, Clock::time_point deadline)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::optional<QByteArray> path = addressValue(entry, "path");
    const std::optional<QByteArray> abstract = addressValue(entry, "abstract");
    const QByteArray name = path ? *path : abstract ? *abstract : QByteArray();
    const qsizetype offset = path ? 0 : 1; // an abstract name starts with a NUL
    if (name.isEmpty() || name.size() + offset >= qsizetype(sizeof address.sun_path))
        return false;
    std::memcpy(address.sun_path + offset, name.constData(), size_t(name.size()));
    const auto length =
        socklen_t(offsetof(sockaddr_un, sun_path) + offset + name.size() + (path ? 1 : 0));
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0)
        return true;
    // A full backlog: the connection is taken only when the bus accepts.
    return (errno == EAGAIN || errno == EINPROGRESS) && waitFor(fd, POLLOUT, deadline);
}

} // namespace

bool isSilentSessionBus(const QByteArray& address, std::chrono::milliseconds bound)
{
    const Clock::time_point deadline = Clock::now() + bound;
    // Clients try the entries in order and keep the first that connects.
    for (const QByteArray& entry : address.split(';')) {
        if (entry.isEmpty())
            continue;
        if (!entry.startsWith("unix:"))
            return false; // tcp: and the like are left to Qt
        const Socket socket;
        if (socket.fd < 0)
            return false;
        if (!connectTo(socket.fd, entry, deadline)) {
            if (Clock::now() >= deadline)
                return true;
            continue;
        }
        const QByteArray uid = QByteArray::number(::geteuid()).toHex();
        const std::optional<QByteArray> auth = exchange(
            socket.fd, QByteArray(1, '\0') + "AUTH EXTERNAL " + uid + "\r\n",
            [](const QByteArray& line) { return line.contains('\n'); }, deadline);
        if (!auth)
            return true;
        // Refused: the bus answers, and Qt tries its other ways to log in.
        if (!auth->startsWith("OK "))
            return false;
        // A message's header is 16 bytes; whatever message comes back is an answer.
        return !exchange(
            socket.fd, "BEGIN\r\n" + helloMessage(),
            [](const QByteArray& message) { return message.size() >= 16; }, deadline);
    }
    return false;
}

QByteArray defaultSessionBusAddress()
{
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    if (!address.isEmpty() || !qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"))
        return address;
    return "unix:path=" + QByteArray(qgetenv("XDG_RUNTIME_DIR")).toPercentEncoding("/") + "/bus";
}
