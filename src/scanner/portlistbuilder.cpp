#include "portlistbuilder.h"

#include <algorithm>

namespace {

size_t hashPair(qint64 port, qint32 pid)
{
    // 64-bit finaliser (MurmurHash3's fmix64) over both numbers
    quint64 h = quint64(port) * 0x9e3779b97f4a7c15ull ^ quint32(pid);
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    h ^= h >> 33;
    return size_t(h);
}

} // namespace

bool PortListBuilder::PairSet::insert(qint64 port, qint32 pid)
{
    if (2 * (m_size + 1) > qsizetype(m_slots.size()))
        grow(std::max<qsizetype>(16, 2 * qsizetype(m_slots.size())));
    const size_t mask = m_slots.size() - 1;
    for (size_t i = hashPair(port, pid) & mask;; i = (i + 1) & mask) {
        Slot& slot = m_slots[i];
        if (!slot.used) {
            slot = Slot{port, pid, true};
            ++m_size;
            return true;
        }
        if (slot.port == port && slot.pid == pid)
            return false;
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
            insert(slot.port, slot.pid);
    }
}

void PortListBuilder::PairSet::clear()
{
    m_slots = {};
    m_size = 0;
}

bool PortListBuilder::add(qint64 port, qint32 pid, const QString& processName)
{
    if (!m_seen.insert(port, pid))
        return false;
    m_ports.append(ListeningPort(port, pid, processName));
    return true;
}

void PortListBuilder::reserve(qsizetype records)
{
    m_seen.reserve(records);
    m_ports.reserve(records);
}

QList<ListeningPort> PortListBuilder::take()
{
    std::stable_sort(m_ports.begin(), m_ports.end(),
                     [](const ListeningPort& a, const ListeningPort& b) {
                         if (a.port() != b.port())
                             return a.port() < b.port();
                         return a.pid() < b.pid();
                     });
    m_seen.clear();
    return std::exchange(m_ports, {});
}
