#include "platform/thread_priority.h"

#include <sys/resource.h>
#include <unistd.h>

namespace cardpush::platform {

void LowerCurrentThreadPriority()
{
    // Linux keeps a nice value per thread, addressed by its thread id; one
    // step of nice is the step below normal. Lowering needs no privilege.
    const int current = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), current + 1);
}

}  // namespace cardpush::platform
