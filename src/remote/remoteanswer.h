#pragma once

#include "listeningport.h"

#include <QByteArrayView>
#include <QList>
#include <QString>

// One host's listening ports as the remote list command (SshCommand::listCommand) read
// them, or why there are none.
struct RemoteListing
{
    // How the other side read its list.
    enum class Source
    {
        None,           // no list
        TidewatchPorts, // tidewatch-ports --json
        Ss,             // ss -Hltunp: owners only of the remote user's processes
        ProcNet,        // /proc/net/tcp, tcp6, udp and udp6: users (as uids), no owners
    };

    QString host;
    Source source = Source::None;
    QList<ListeningPort> ports; // sorted as PortListBuilder sorts; empty on failure
    QString reason;             // why there is no list; empty on success

    bool ok() const { return reason.isEmpty(); }
    // "tidewatch-ports", "ss", "proc"; empty for None.
    static QString sourceName(Source source);
};

// The parsers of the remote answer. Strict: anything malformed gives a reason (which line,
// and what was wrong), never a partial list. Names come as local ones do: ss's raw ones
// made printable as the local sources make them, the remote tidewatch-ports's as it wrote
// them; the outputs escape them as they escape local names.
namespace RemoteAnswer {

// The list command's whole output: its first line "tidewatch-remote WAY", then the way's
// own answer. The listing's host is left empty.
RemoteListing parse(QByteArrayView output);

// A JSON array of tidewatch-ports --json records. Their start times are not kept (they
// count in the other machine's clock ticks).
QList<ListeningPort> parseTidewatchJson(QByteArrayView json, QString* reason);
// ss -Hltunp lines: "tcp LISTEN 0 128 0.0.0.0:22 0.0.0.0:* users:(("sshd",pid=1,fd=3))".
QList<ListeningPort> parseSsLines(QByteArrayView lines, QString* reason);
// "table tcp" (tcp6, udp, udp6) lines, each followed by that /proc/net table. The addresses
// are in the other machine's byte order.
QList<ListeningPort> parseProcNetTables(QByteArrayView tables, bool bigEndian, QString* reason);

} // namespace RemoteAnswer
