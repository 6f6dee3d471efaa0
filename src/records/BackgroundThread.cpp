#include "records/BackgroundThread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

void yieldToTheWindow()
{
    // Best effort: a thread left at its priority only runs a little sooner.
    setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), 10);
}
