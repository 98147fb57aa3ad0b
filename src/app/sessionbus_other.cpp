#include "sessionbus.h"

// No session bus to wait on.
bool isSilentSessionBus(const QByteArray&, std::chrono::milliseconds)
{
    return false;
}

QByteArray defaultSessionBusAddress()
{
    return {};
}
