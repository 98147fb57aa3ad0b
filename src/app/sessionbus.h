#pragma once

#include <QByteArray>

#include <chrono>

// Whether the session bus at `address` (as DBUS_SESSION_BUS_ADDRESS gives it) takes a
// connection and then leaves it without an answer for `bound`. Qt's first use of such a bus
// (Tidewatch's, the tray icon's, the accessibility bridge's) waits 25 seconds on it, each.
// Asks as a client does: authenticates, then says Hello. A bus that can't be reached, or
// that refuses, fails at once for Qt too and is not silent; nor is one whose kind of address
// can't be asked this way.
bool isSilentSessionBus(const QByteArray& address, std::chrono::milliseconds bound);

// The address Qt's bus library connects to: DBUS_SESSION_BUS_ADDRESS, or else the user's
// runtime folder's "bus" socket; empty when there is none to ask.
QByteArray defaultSessionBusAddress();
