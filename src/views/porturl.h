#pragma once

#include "listeningport.h"

#include <QUrl>

// The address a browser reaches the port's server on: http://localhost:PORT when it
// listens on a wildcard or loopback address (or the source did not say), otherwise its
// own bound address, e.g. http://192.168.1.5:PORT or http://[fe80::1%25eth0]:PORT (an
// IPv4-mapped one by its IPv4 part).
// Invalid, so nothing opens, when the port is out of range or the address is no host.
QUrl browserUrl(const ListeningPort& port);
