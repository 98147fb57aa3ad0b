#include "processdetails.h"

// No cheap, permission-free source for these here yet: the tooltip shows the name only.
ProcessDetails readProcessDetails(qint32, CommandLineLength)
{
    return {};
}

// lsof tells no start time.
std::optional<QDateTime> processStartedAt(quint64)
{
    return std::nullopt;
}
