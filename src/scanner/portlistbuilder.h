#pragma once

#include "listeningport.h"

#include <QList>

#include <utility>
#include <vector>

// Collects records from any source: keeps the first record for each (port, pid) pair and
// hands the list back sorted by port, then pid. Every source goes through this, so they
// de-duplicate and order alike.
class PortListBuilder
{
public:
    // Returns false when the pair was already added.
    bool add(qint64 port, qint32 pid, const QString& processName);
    // Room for this many records, so that large answers do not rehash and regrow.
    void reserve(qsizetype records);
    QList<ListeningPort> take();

private:
    // The (port, pid) pairs seen so far: the record's id in number form, whose text would
    // say the same. An open-addressing hash set in one flat array, since a large answer
    // spends most of its parse time here and a node-based set misses the cache more.
    class PairSet
    {
    public:
        bool insert(qint64 port, qint32 pid); // false when already there
        void reserve(qsizetype count);
        void clear();

    private:
        struct Slot
        {
            qint64 port = 0;
            qint32 pid = 0;
            bool used = false;
        };
        void grow(qsizetype capacity);
        std::vector<Slot> m_slots; // a power of two long, at most half full
        qsizetype m_size = 0;
    };

    PairSet m_seen;
    QList<ListeningPort> m_ports;
};
