#pragma once

// The wire format between the differential test and churnchild, one message each way per
// command over a SOCK_SEQPACKET socket pair. Descriptors travel as SCM_RIGHTS.

namespace churn {

enum class Op : int
{
    Listen,          // flags: Ipv6, CloseOnExec; fd: to close in the same step -> fd, port
    Close,           // fd
    ReplaceWithFile, // fd: /dev/null takes its number
    Restart,         // fd: close it, listen anew on its port -> fd
    Fork,            // -> pid of the child, with its control socket attached
    Send,            // fd, flags: Move -> the descriptor attached
    Receive,         // a descriptor attached -> fd
    ReceiveClosing,  // a descriptor attached, fd to close in the same step -> fd
    OpenFile,        // -> fd of a new /dev/null
    Exec,            // path: run churnchild again under this name
    Exit,
    Sync, // replies once everything before it is done
};

enum Flags : int
{
    Ipv6 = 1,
    CloseOnExec = 2,
    Move = 4,
};

struct Command
{
    Op op = Op::Sync;
    int fd = -1;
    int flags = 0;
    char path[256] = {};
};

struct Reply
{
    int ok = 0;
    int fd = -1;
    int port = 0;
    int pid = 0; // Fork: the new process; Ready: the sender
};

} // namespace churn
