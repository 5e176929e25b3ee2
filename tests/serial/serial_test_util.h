// Helpers shared by the serial component's tests.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/cp1251.h"
#include "platform/main_thread.h"
#include "serial/BCPort.h"

namespace cardpush::test {

// The EComPort message that f throws, in UTF-8 so that a failing test shows
// it readably; "(nothing thrown)" when f returns.
template <class F>
std::string ComPortMessage(F&& f)
{
    try {
        f();
    } catch (const EComPort& e) {
        return Cp1251ToUtf8(e.what());
    }
    return "(nothing thrown)";
}

// Closes the port on a thread of its own while this thread, the GUI thread,
// serves hand-overs; returns once Close has returned.
inline void CloseServing(TBComPort& port)
{
    std::atomic<bool> closed{false};
    std::thread closer([&] {
        port.Close();
        closed = true;
        platform::MainThread::Wake();
    });
    platform::MainThread::WaitServing([&] { return closed.load(); });
    closer.join();
}

// What event handlers saw, in order, from whichever thread they ran on.
class HandlerLog {
public:
    void Add(std::string entry)
    {
        {
            std::lock_guard lock(mutex_);
            entries_.push_back(std::move(entry));
        }
        changed_.notify_all();
    }
    // Blocks until n entries are in (a safety net of 20 s against a hung test).
    std::vector<std::string> WaitFor(std::size_t n)
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(20), [&] { return entries_.size() >= n; });
        return entries_;
    }
    std::vector<std::string> Entries()
    {
        std::lock_guard lock(mutex_);
        return entries_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> entries_;
};

}  // namespace cardpush::test
