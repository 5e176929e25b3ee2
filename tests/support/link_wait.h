// Waiting for the link on the GUI thread, with guards against hangs.
//
// The guards only stop a wait that would otherwise never end; nothing here
// measures how long anything takes.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace cardpush::testing {

// Long enough for anything that does end, under the sanitizers included.
inline constexpr std::chrono::seconds kHangGuard{30};

// GUI thread: serves the hand-overs of the link thread and the serial event
// thread until done() holds, or until the guard has run out. Returns whether
// done() held. done() runs under the hand-over queue's lock after each
// hand-over: it may read the recording host and the link session, nothing
// that hands over itself.
bool ServeUntil(const std::function<bool()>& done, std::chrono::milliseconds guard = kHangGuard);

// Ends the process with a message when it is still alive after the guard
// time: for steps (a destructor, a join) that cannot be waited for otherwise.
class HangGuard {
public:
    explicit HangGuard(std::string what, std::chrono::milliseconds guard = kHangGuard);
    ~HangGuard();
    HangGuard(const HangGuard&) = delete;
    HangGuard& operator=(const HangGuard&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread watch_;
};

}  // namespace cardpush::testing
