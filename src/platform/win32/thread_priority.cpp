#include "platform/thread_priority.h"

#include <windows.h>

namespace cardpush::platform {

void LowerCurrentThreadPriority()
{
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

}  // namespace cardpush::platform
