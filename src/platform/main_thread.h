// The GUI thread's hand-over queue.
//
// Worker threads (the serial event thread, the link thread) never touch
// windows. They hand work to the GUI thread instead:
//   - Synchronize(fn): fn runs on the GUI thread while the caller waits; an
//     exception thrown by fn is thrown again in the caller.
//   - Post(fn): fn runs on the GUI thread later; the caller goes on at once.
//
// The GUI layer calls Bind() once on its thread and installs a wake-up that
// makes its event loop call ServePending() soon (with Qt: a queued call).
// Without a GUI (tests, tools) the bound thread calls ServePending() or
// WaitServing() itself.
//
// A thread that waits on the GUI thread for another thread which may itself
// be inside Synchronize must use WaitServing(), which keeps serving
// hand-overs while it waits; otherwise the two would wait for each other.
#pragma once

#include <chrono>
#include <exception>
#include <functional>

namespace cardpush::platform {

class MainThread {
public:
    // Makes the calling thread the GUI thread. Pending hand-overs are kept.
    static void Bind();
    static bool IsCurrent();

    // Called from any thread whenever a hand-over has been queued. May be empty.
    static void SetWakeup(std::function<void()> wakeup);

    // Runs fn on the GUI thread and waits for it. Called on the GUI thread
    // itself, fn runs at once.
    static void Synchronize(const std::function<void()>& fn);

    // Queues fn for the GUI thread; returns at once. Exceptions thrown by fn
    // go to the unhandled-exception hook (see SetExceptionHook).
    static void Post(std::function<void()> fn);

    // GUI thread (asserted in debug builds): runs every queued hand-over, in
    // the order queued.
    static void ServePending();

    // Blocks until done() holds. On the GUI thread, queued hand-overs are
    // served meanwhile. done() is evaluated with the queue's lock held, so it
    // must be cheap and must not call into this class; whoever changes its
    // outcome calls Wake() afterwards.
    static void WaitServing(const std::function<bool()>& done);
    static void Wake();
    // GUI thread (asserted in debug builds), for a loop of its own (the
    // command line): waits until a hand-over is queued, Wake() is called or
    // the deadline has passed, then serves what is queued.
    static void WaitAndServe(std::chrono::steady_clock::time_point deadline);

    // Receives exceptions thrown by posted functions (the GUI layer shows
    // them to the operator). Without a hook they are dropped.
    static void SetExceptionHook(std::function<void(std::exception_ptr)> hook);
};

}  // namespace cardpush::platform
