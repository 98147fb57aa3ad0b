#pragma once

#include "listeningport.h"

#include <QList>
#include <QSet>

#include <utility>

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
    // The pair is the record's id in number form; its text would say the same.
    QSet<std::pair<qint64, qint32>> m_seen;
    QList<ListeningPort> m_ports;
};
