#pragma once

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

// A stand-in for ssh, by the host it is given: "up" answers a list of one port (port 3000,
// node, pid 7) and keeps a forward open; "flaky" answers once, then its connection is
// closed; "down" can't be reached; a forward to "gone" can't listen. Every call is
// noted in `calls`, a forward's pid in `pid`.
struct StandInSsh
{
    StandInSsh()
    {
        QFile script(program());
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(R"(#!/bin/sh
d=${0%/*}
echo "$@" >> "$d/calls"
case " $* " in *" -O exit "*) exit 0;; *" -N "*) forward=1;; esac
while [ "$1" != -- ]; do shift; done
if [ -n "$forward" ]; then
  [ "$2" = gone ] && { printf '%s\n' "Warning: Permanently added 'gone' to the known hosts." \
    'bind [127.0.0.1]:3000: Address already in use' 'Could not request local forwarding.' >&2
    exit 255; }
  echo $$ > "$d/pid"; exec sleep 60
fi
case $2 in
  flaky) [ -e "$d/flaky" ] && { echo 'Connection closed by 10.0.0.9 port 22' >&2; exit 255; }
         touch "$d/flaky";;
  up) ;;
  *) echo "ssh: connect to host $2 port 22: Connection refused" >&2; exit 255;;
esac
printf '%s\n' 'tidewatch-remote ss' 'tcp LISTEN 0 128 0.0.0.0:3000 0.0.0.0:* users:(("node",pid=7,fd=3))'
)");
        script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
    }
    QString program() const { return folder.filePath(QStringLiteral("ssh")); }
    QString calls() const
    {
        QFile file(folder.filePath(QStringLiteral("calls")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    // The last forward's ssh, while it runs.
    bool forwardRuns() const
    {
        QFile file(folder.filePath(QStringLiteral("pid")));
        return file.open(QIODevice::ReadOnly) && ::kill(file.readAll().trimmed().toInt(), 0) == 0;
    }

    QTemporaryDir folder;
};
