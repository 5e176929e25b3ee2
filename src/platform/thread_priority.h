// The scheduling priority of the calling thread.
#pragma once

namespace cardpush::platform {

// Puts the calling thread one step below the normal priority, so that the
// work it does in bursts never takes the processor from the windows. Where
// the system refuses, the thread keeps its priority: it is only a hint.
void LowerCurrentThreadPriority();

}  // namespace cardpush::platform
