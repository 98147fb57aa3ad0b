#include "cloexecpipe.h"

#include <fcntl.h>
#include <unistd.h>

// note: without pipe2 (macOS) the flag is set after the fact, so a child spawned by another
// thread in between can inherit an end; it only delays that pipe's end of file until that
// child exits, and every child here has a time bound.
int openCloexecPipe(int fds[2])
{
    if (::pipe(fds) != 0)
        return -1;
    for (int i = 0; i < 2; ++i) {
        if (::fcntl(fds[i], F_SETFD, FD_CLOEXEC) != 0) {
            ::close(fds[0]);
            ::close(fds[1]);
            return -1;
        }
    }
    return 0;
}
