#pragma once

#include <QHashFunctions>
#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <functional>

// One TCP port in the LISTEN state and the process that owns it. A plain immutable value.
class ListeningPort
{
public:
    ListeningPort(qint64 port, qint32 pid, QString processName)
        : m_port(port), m_pid(pid), m_processName(std::move(processName))
    {}

    qint64 port() const { return m_port; }
    // 0 when the source carried no usable process id.
    qint32 pid() const { return m_pid; }
    const QString& processName() const { return m_processName; }

    // "port-pid" in plain decimal, e.g. "5432-881": the record's identity in a list.
    QString id() const;
    // Ports below 1024, negative ones included.
    bool isSystem() const { return m_port < 1024; }

    // Equality takes all three fields; two records may share an id and still differ.
    friend bool operator==(const ListeningPort&, const ListeningPort&) = default;

private:
    qint64 m_port;
    qint32 m_pid;
    QString m_processName;
};

size_t qHash(const ListeningPort& port, size_t seed = 0) noexcept;

template <> struct std::hash<ListeningPort>
{
    size_t operator()(const ListeningPort& port) const noexcept { return qHash(port); }
};
