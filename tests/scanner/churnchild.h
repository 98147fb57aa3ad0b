#pragma once

// The wire format between the differential test and churnchild, one message each way per
// command over a SOCK_SEQPACKET socket pair. Descriptors travel as SCM_RIGHTS.

#include <sys/socket.h>

#include <cstring>

namespace ChurnChild {

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

// One message, with a descriptor attached unless it is -1.
inline bool sendMessage(int socket, const void* data, size_t size, int attached = -1)
{
    iovec vector{const_cast<void*>(data), size};
    msghdr message{};
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char space[CMSG_SPACE(sizeof(int))] = {};
    if (attached >= 0) {
        message.msg_control = space;
        message.msg_controllen = sizeof space;
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(header), &attached, sizeof(int));
    }
    return ::sendmsg(socket, &message, MSG_NOSIGNAL) == ssize_t(size);
}

// The next message, and the descriptor that came with it (-1 if none).
inline bool receiveMessage(int socket, void* data, size_t size, int& attached, int flags)
{
    iovec vector{data, size};
    msghdr message{};
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char space[CMSG_SPACE(sizeof(int))] = {};
    message.msg_control = space;
    message.msg_controllen = sizeof space;
    if (::recvmsg(socket, &message, flags) != ssize_t(size))
        return false;
    attached = -1;
    if (const cmsghdr* header = CMSG_FIRSTHDR(&message); header && header->cmsg_type == SCM_RIGHTS)
        std::memcpy(&attached, CMSG_DATA(header), sizeof(int));
    return true;
}

} // namespace ChurnChild
