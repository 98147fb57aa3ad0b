#include "cloexecpipe.h"

#include <fcntl.h>
#include <unistd.h>

int openCloexecPipe(int fds[2])
{
    return ::pipe2(fds, O_CLOEXEC);
}
