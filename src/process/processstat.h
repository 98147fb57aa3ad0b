#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <optional>

// The fields of /proc/<pid>/stat that tell a process apart, and where it sits.
struct ProcessStat
{
    QByteArrayView name; // the raw command name, as /proc/<pid>/comm has it
    quint64 startTime = 0;
    qint32 parentPid = 0; // 0 where the parent is outside the reader's pid namespace
    qint32 session = 0;   // the session leader's pid, 0 likewise
};
// Parses one /proc/<pid>/stat line: "pid (name) state ppid ... starttime ...". The name may
// hold any byte, ')' and spaces included, so it ends at the last ')'.
std::optional<ProcessStat> parseProcessStat(QByteArrayView line);
