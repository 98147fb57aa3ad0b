#pragma once

// Lowers the calling thread's scheduling priority to that of background work the user is
// not waiting on. Best effort; a platform without the notion does nothing.
void lowerCurrentThreadPriority();
