#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The hosts named by `Host` lines of an OpenSSH client configuration, to offer as machines
// to watch: each name as written, once (names differ by case only are one, as ssh matches
// them), in the order of the file. Patterns (`*`, `?`, a negated `!name`) name no one
// machine and are left out, as are names ssh would take for an option (a leading `-`).
// Keywords are read in any case, with `=` or blanks before the arguments; a word that
// begins with `#` ends the line; `Match` lines name no hosts.
QStringList sshConfigHosts(const QByteArray& text);

// The same, read from the file at `path`, following its `Include` lines (relative paths
// under `sshFolder`, globs in the last part of a path) as ssh does, 16 levels deep at most.
// A missing or unreadable file names no hosts.
QStringList readSshConfigHosts(const QString& path, const QString& sshFolder);
