#pragma once

#include "listeningport.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QString>

// The list in Prometheus' text exposition format (0.0.4), for the node exporter's textfile
// collector, each family under its HELP and TYPE lines:
//   tidewatch_listening{port, protocol, program, user, unit, container, exposure}: one series
//     per owner and port, value 1 (records that differ only by pid, such as a server's
//     workers, are one series valued by their number, since a family holds no two series
//     with the same labels); exposure is "loopback", "all" or "address"; empty where unknown;
//   tidewatch_listening_ports{protocol}: the records, for each protocol scanned;
//   tidewatch_connections{port, protocol}: established connections where they are counted;
//   tidewatch_scan_duration_seconds: how long the scan took.
// There is no pid label, which would start a new series on every restart.
QByteArray formatMetrics(const QList<ListeningPort>& ports, const QByteArrayList& protocols,
                         double scanSeconds);
// A label value as the format writes it between its quotes: backslash, double quote and
// line feed escaped.
QByteArray escapeLabelValue(const QString& value);
