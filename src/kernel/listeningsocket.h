#pragma once

#include <QHash>
#include <QString>
#include <QtGlobal>

#include <array>
#include <cstddef>

// A local address as the kernel reports it. It becomes text only for the records, through
// a cache, since a scan sees the same few addresses over and over.
struct SocketAddress
{
    quint8 family = 0;                 // AF_INET or AF_INET6
    std::array<quint8, 16> bytes = {}; // network order; IPv4 uses the first four
    quint32 scope = 0;                 // interface index of an IPv6 link-local address, or 0

    friend bool operator==(const SocketAddress&, const SocketAddress&) = default;
};

size_t qHash(const SocketAddress& address, size_t seed = 0) noexcept;

// "127.0.0.1", "::1", "0.0.0.0", "::", "fe80::1%eth0" (the interface's number when it has
// no name); empty for a family that is neither.
QString addressText(const SocketAddress& address);

// One TCP socket in the LISTEN state, or one bound and unconnected UDP socket.
struct ListeningSocket
{
    bool udp = false;
    quint16 port = 0;
    quint32 uid = 0; // the user the socket belongs to: the one that created it
    SocketAddress address;

    friend bool operator==(const ListeningSocket&, const ListeningSocket&) = default;
};

// Keyed by the socket's inode, the number its holders' descriptors link to.
using ListeningSockets = QHash<quint64, ListeningSocket>;
