// The windows' benchmarks run the application's event loop, as the tool
// does: the link's hand-overs reach the GUI thread as events of that loop.
#pragma once

#include <chrono>
#include <functional>

#include "support/link_wait.h"

namespace cardpush::bench {

// Runs the event loop until done() holds or the guard runs out; returns
// whether done() held.
bool RunEventsUntil(const std::function<bool()>& done,
                    std::chrono::milliseconds guard = testing::kHangGuard);

// Runs the event loop for this long.
void RunEventsFor(std::chrono::milliseconds time);

}  // namespace cardpush::bench
