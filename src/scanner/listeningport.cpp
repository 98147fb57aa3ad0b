#include "listeningport.h"

QString ListeningPort::id() const
{
    return QString::number(m_port) + QLatin1Char('-') + QString::number(m_pid);
}

size_t qHash(const ListeningPort& port, size_t seed) noexcept
{
    // port as 64 bits, then pid as 32 bits, then the name
    return qHashMulti(seed, port.port(), port.pid(), port.processName());
}
