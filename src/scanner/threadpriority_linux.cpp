#include "threadpriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

void lowerCurrentThreadPriority()
{
    // On Linux a nice value set for a thread id applies to that thread alone.
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    ::setpriority(PRIO_PROCESS, tid, 10);
}
