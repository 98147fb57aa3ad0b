#include "threadpriority.h"

void lowerCurrentThreadPriority() {}
