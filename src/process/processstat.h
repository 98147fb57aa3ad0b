#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <optional>

// The two fields of /proc/<pid>/stat that tell a process apart.
struct ProcessStat
{
    QByteArrayView name; // the raw command name, as /proc/<pid>/comm has it
    quint64 startTime = 0;
};
// Parses one /proc/<pid>/stat line: "pid (name) state ppid ... starttime ...". The name may
// hold any byte, ')' and spaces included, so it ends at the last ')'.
std::optional<ProcessStat> parseProcessStat(QByteArrayView line);
