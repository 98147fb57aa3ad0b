#include "portlistbuilder.h"

#include <algorithm>
#include <tuple>

namespace {

size_t hashPair(qint64 port, qint32 pid, ListeningPort::Protocol protocol)
{
    // 64-bit finaliser (MurmurHash3's fmix64) over the numbers
    quint64 h = quint64(port) * 0x9e3779b97f4a7c15ull ^ quint32(pid) ^ (quint64(protocol) << 63);
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    h ^= h >> 33;
    return size_t(h);
}

} // namespace

std::pair<qsizetype, bool> PortListBuilder::PairSet::insert(qint64 port, qint32 pid,
                                                            Protocol protocol, qsizetype index)
{
    if (2 * (m_size + 1) > qsizetype(m_slots.size()))
        grow(std::max<qsizetype>(16, 2 * qsizetype(m_slots.size())));
    const size_t mask = m_slots.size() - 1;
    for (size_t i = hashPair(port, pid, protocol) & mask;; i = (i + 1) & mask) {
        Slot& slot = m_slots[i];
        if (!slot.used) {
            slot = Slot{port, pid, protocol, true, index};
            ++m_size;
            return {index, true};
        }
        if (slot.port == port && slot.pid == pid && slot.protocol == protocol)
            return {slot.index, false};
    }
}

void PortListBuilder::PairSet::reserve(qsizetype count)
{
    qsizetype capacity = 16;
    while (capacity < 2 * count)
        capacity *= 2;
    if (capacity > qsizetype(m_slots.size()))
        grow(capacity);
}

void PortListBuilder::PairSet::grow(qsizetype capacity)
{
    std::vector<Slot> old = std::exchange(m_slots, std::vector<Slot>(size_t(capacity)));
    m_size = 0;
    for (const Slot& slot : old) {
        if (slot.used)
            insert(slot.port, slot.pid, slot.protocol, slot.index);
    }
}

void PortListBuilder::PairSet::clear()
{
    m_slots = {};
    m_size = 0;
}

bool PortListBuilder::add(qint64 port, qint32 pid, const QString& processName,
                          const QString& address, const QString& user, quint64 startTime,
                          const OwnerDetails& details, quint64 socket, Protocol protocol,
                          qint32 connections)
{
    const qsizetype next = qsizetype(m_entries.size());
    qsizetype index = next;
    bool isNew = true;
    if (pid != 0) {
        std::tie(index, isNew) = m_seen.insert(port, pid, protocol, next);
    } else {
        auto& seen = m_seenWithoutProcess[protocol == Protocol::Udp];
        const auto key = std::make_pair(port, user);
        const auto it = seen.constFind(key);
        isNew = it == seen.cend();
        if (isNew)
            seen.insert(key, next);
        else
            index = *it;
    }
    if (isNew) {
        m_entries.push_back(
            Entry{port, pid, processName, user, {}, startTime, details, {}, protocol, -1});
    }
    Entry& entry = m_entries[size_t(index)];
    if (connections >= 0)
        entry.connections = std::max(entry.connections, 0) + connections;
    if (!address.isEmpty())
        entry.addresses.append(address);
    if (socket != 0)
        entry.sockets.append(socket);
    return isNew;
}

void PortListBuilder::reserve(qsizetype records)
{
    m_seen.reserve(records);
    m_entries.reserve(size_t(records));
}

QList<ListeningPort> PortListBuilder::take()
{
    std::stable_sort(m_entries.begin(), m_entries.end(), [](const Entry& a, const Entry& b) {
        if (a.port != b.port)
            return a.port < b.port;
        // Records without a process come after the others on their port.
        if ((a.pid == 0) != (b.pid == 0))
            return b.pid == 0;
        if (a.pid != b.pid)
            return a.pid < b.pid;
        if (a.user != b.user)
            return a.user < b.user;
        return a.protocol < b.protocol;
    });
    QList<ListeningPort> ports;
    ports.reserve(qsizetype(m_entries.size()));
    for (Entry& entry : m_entries) {
        if (entry.addresses.size() > 1) {
            entry.addresses.sort();
            entry.addresses.removeDuplicates();
        }
        // A socket held under two descriptors is one socket.
        std::sort(entry.sockets.begin(), entry.sockets.end());
        entry.sockets.erase(std::unique(entry.sockets.begin(), entry.sockets.end()),
                            entry.sockets.end());
        ports.append(ListeningPort(entry.port, entry.pid, std::move(entry.processName),
                                   std::move(entry.user), std::move(entry.addresses),
                                   entry.startTime, std::move(entry.details),
                                   std::move(entry.sockets), entry.protocol, entry.connections));
    }
    m_seen.clear();
    m_seenWithoutProcess[0].clear();
    m_seenWithoutProcess[1].clear();
    m_entries.clear();
    return ports;
}
