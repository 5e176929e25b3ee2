// The windows' benchmarks run the application's event loop, as the tool
// does: the link's hand-overs reach the GUI thread as events of that loop.
#pragma once

#include <chrono>
#include <functional>

#include "link/link_session.h"
#include "support/link_wait.h"

namespace cardpush {
class TForm1;
}

namespace cardpush::bench {

// Runs the event loop until done() holds or the guard runs out; returns
// whether done() held.
bool RunEventsUntil(const std::function<bool()>& done,
                    std::chrono::milliseconds guard = testing::kHangGuard);

// Runs the event loop for this long.
void RunEventsFor(std::chrono::milliseconds time);

// Gives the main window's link these timings, shows the window and runs the
// event loop until card commands are allowed; false when they are not
// within the guard time.
bool ShowConnected(TForm1& form, const LinkSession::Timing& timing,
                   std::chrono::milliseconds guard = testing::kHangGuard);

}  // namespace cardpush::bench
