#include <windows.h>

#include "platform/thread_priority.h"

namespace cardpush::platform {

void LowerCurrentThreadPriority()
{
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

}  // namespace cardpush::platform
