#pragma once

#include "listeningport.h"

#include <QHash>
#include <QList>
#include <QStringList>

#include <utility>
#include <vector>

// Collects records from any source: one record for each (protocol, port, pid) -- for records
// without a process, each (protocol, port, user) -- with the first name and details seen,
// every address and socket added for it and the sum of its sockets' connections, handed
// back sorted by port, then pid, with the records without a process after the others on
// their port (by user), TCP before UDP for the same port and owner. Every source goes
// through this, so they de-duplicate and order alike.
class PortListBuilder
{
public:
    using Protocol = ListeningPort::Protocol;
    // Returns false when the record was already added; its address and socket (an inode, 0
    // for none) are added to it then, and its connections (-1: not counted) to its count.
    bool add(qint64 port, qint32 pid, const QString& processName, const QString& address = {},
             const QString& user = {}, quint64 startTime = 0, const OwnerDetails& details = {},
             quint64 socket = 0, Protocol protocol = Protocol::Tcp, qint32 connections = -1);
    // Room for this many records, so that large answers do not rehash and regrow.
    void reserve(qsizetype records);
    QList<ListeningPort> take();

private:
    struct Entry
    {
        qint64 port;
        qint32 pid;
        QString processName;
        QString user;
        QStringList addresses;
        quint64 startTime;
        OwnerDetails details;
        QList<quint64> sockets;
        Protocol protocol;
        qint32 connections;
    };

    // The (port, pid) pairs seen so far, each with its place in m_entries: the record's key. An
    // open-addressing hash set in one flat array, since a large answer spends most of its parse
    // time here and a node-based set misses the cache more.
    class PairSet
    {
    public:
        // The place of the pair, and whether it was new (then at index).
        std::pair<qsizetype, bool> insert(qint64 port, qint32 pid, Protocol protocol,
                                          qsizetype index);
        void reserve(qsizetype count);
        void clear();

    private:
        struct Slot
        {
            qint64 port = 0;
            qint32 pid = 0;
            Protocol protocol = Protocol::Tcp;
            bool used = false;
            qsizetype index = 0;
        };
        void grow(qsizetype capacity);
        std::vector<Slot> m_slots; // a power of two long, at most half full
        qsizetype m_size = 0;
    };

    PairSet m_seen;
    // (port, user), for each protocol
    QHash<std::pair<qint64, QString>, qsizetype> m_seenWithoutProcess[2];
    std::vector<Entry> m_entries;
};
