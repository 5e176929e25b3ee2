// The event thread of an open TBComPort (internal to the serial component).
//
// It waits for the device's events and hands each wake-up to the port's
// dispatch on the thread that the port's SyncMethod selects. It exists exactly
// while its port is open: Open makes it, Close destroys it.
#pragma once

#include <atomic>
#include <mutex>
#include <thread>

#include "serial/BCPort.h"

namespace cardpush {

// Events reported together are dispatched in this order.
inline constexpr TPortEvent kDispatchOrder[8] = {pevError, pevRxChar, pevTxEmpty, pevRing,
                                                 pevCTS,   pevDSR,    pevRLSD,    pevRx80Full};

// The notification object of smWindowSync. Messages for it run on the GUI
// thread and may still be queued when the port closes: they hold it by a
// shared pointer, and Close clears `port` under the mutex, which also waits
// for a handler that is running. The mutex is recursive because a handler
// may itself close the port.
struct TBComPort::NotifyWindow {
    std::recursive_mutex mutex;
    TBComPort* port;
};

class TComThread {
public:
    // Creates the stop event, sets the device's event mask to every watched
    // event and starts the thread.
    explicit TComThread(TBComPort& port);
    // Signals the stop and waits, without a time limit, until the thread has
    // ended; on the GUI thread pending hand-overs keep being served
    // meanwhile. Then releases the stop event.
    ~TComThread();
    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

    void SignalStop();

private:
    void WatchEvents();
    void DispatchEvents();
    void SendEventMessages();
    // Calls the port's OnThreadError, which must not throw out of the thread.
    void TellThreadError(const std::string& message);

    TBComPort& port_;
    platform::CommApi& api_;
    HANDLE stopEvent_;
    // What the last completed wait reported; written by the thread before it
    // hands a dispatch over, read by the dispatch while the thread waits.
    TPortEvents events_;
    std::atomic<bool> ended_{false};
    std::thread thread_;
};

}  // namespace cardpush
