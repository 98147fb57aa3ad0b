#pragma once

#include "listeningport.h"

#include <QByteArrayView>
#include <QList>
#include <QStringView>

#include <optional>

// Reads lsof's field output (-F pcPn): "p" starts a process, "c" names it, "P" names the
// protocol of the files after it in that process ("UDP"; anything else, or none, is TCP),
// and each "n"
// line (address:port) yields at most one record, or adds its address ("*" for all
// interfaces, IPv6 without brackets) to the record of the same (protocol, port, pid). A
// connected socket ("address:port->peer") is no listener. Neither "p" nor "c" resets the
// other; every other line is ignored. The result is sorted as PortListBuilder sorts. lsof
// names no user: the records' user is empty.
namespace LsofParser {

// Empty when the bytes are not valid UTF-8: a partly readable answer is not trusted.
std::optional<QList<ListeningPort>> parse(QByteArrayView output);
QList<ListeningPort> parse(QStringView output);

// A signed decimal: an optional sign, then one or more ASCII digits, and nothing else.
std::optional<qint64> parseInt64(QByteArrayView text);
std::optional<qint32> parseInt32(QByteArrayView text);

} // namespace LsofParser
