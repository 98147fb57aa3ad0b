#pragma once

// A pipe whose two ends are closed on exec, so a child started from another thread at the
// same moment does not inherit them. Returns 0, or -1 with errno set.
int openCloexecPipe(int fds[2]);
