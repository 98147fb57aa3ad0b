#include "threadpriority.h"

#include <pthread/qos.h>

void lowerCurrentThreadPriority()
{
    pthread_set_qos_class_self_np(QOS_CLASS_UTILITY, 0);
}
