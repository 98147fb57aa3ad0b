#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// The ssh command lines Tidewatch runs. Only the user's own OpenSSH is used, with their
// configuration, keys and agent; nothing of ours runs on the other side but a fixed POSIX sh
// script.
namespace SshCommand {

// Whether a host may go on ssh's command line: not empty, not starting with "-" (it would
// be read as an option), and without whitespace or control characters.
bool isUsableHost(QStringView host);

// ssh's arguments, without the program: "-o BatchMode=yes -o ConnectTimeout=10", each
// option of extraOptions after its own "-o" ("ControlMaster=auto", "ControlPath=…"), then
// "--", the host and the remote command (none when empty, as for "ssh -N" with a forward in
// extraArguments). Empty for a host that is not usable. extraArguments ("-N", "-L", "…") go
// after the options, before "--".
QStringList arguments(const QString& host, const QString& remoteCommand,
                      const QStringList& extraOptions = {}, const QStringList& extraArguments = {});

// The remote command that lists the ports in one round trip: tidewatch-ports --json where
// installed, else ss -Hltunp, else the /proc/net tables. Its first line names the way (see
// RemoteAnswer::parse). One fixed string: nothing from this machine goes into it.
const QString& listCommand();

} // namespace SshCommand
