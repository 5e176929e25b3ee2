// The requests to end that a program gets from outside: SIGTERM, SIGINT and
// SIGHUP on POSIX; Ctrl-C, Ctrl-Break and a closing console on Windows. While
// one lives, such a request no longer ends the process: it is handed to the
// GUI thread (MainThread::Post) as a call of onStop, so that the tool ends
// the way the operator ends it, with its settings saved and its port let go.
// Requests that come close together may make one call; one that comes while
// nothing serves the GUI thread is served once something does.
//
// GUI thread; one instance at a time.
#pragma once

#include <functional>
#include <memory>

namespace cardpush::platform {

class StopRequests {
public:
    explicit StopRequests(std::function<void()> onStop);
    // The signals get back the handling they had before.
    ~StopRequests();
    StopRequests(const StopRequests&) = delete;
    StopRequests& operator=(const StopRequests&) = delete;

private:
    struct Watch;
    std::unique_ptr<Watch> watch_;
};

}  // namespace cardpush::platform
