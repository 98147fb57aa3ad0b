#include "childlifetime.h"

#include <QProcess>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

void endWithThisProgram(QProcess& process)
{
    const pid_t program = ::getpid();
    // Runs in the child, between fork and exec: async-signal-safe calls only.
    process.setChildProcessModifier([program] {
        // Had the program died before the request took hold, nothing would ever come.
        if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || ::getppid() != program)
            ::_exit(127);
    });
}
