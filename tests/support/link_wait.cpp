#include "support/link_wait.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/main_thread.h"

namespace cardpush::testing {

using platform::MainThread;

bool ServeUntil(const std::function<bool()>& done, std::chrono::milliseconds guard)
{
    std::atomic<bool> expired{false};
    std::mutex mutex;
    std::condition_variable cancel;
    bool finished = false;
    // The queue wakes only for hand-overs; the guard's end wakes it too.
    std::thread watch([&] {
        std::unique_lock lock(mutex);
        if (!cancel.wait_for(lock, guard, [&] { return finished; })) {
            expired = true;
            MainThread::Wake();
        }
    });
    MainThread::WaitServing([&] { return expired.load() || done(); });
    {
        std::lock_guard lock(mutex);
        finished = true;
    }
    cancel.notify_all();
    watch.join();
    // Whatever the last hand-over changed is seen here too.
    return done();
}

HangGuard::HangGuard(std::string what, std::chrono::milliseconds guard)
    : watch_([this, what = std::move(what), guard] {
          std::unique_lock lock(mutex_);
          if (!done_.wait_for(lock, guard, [this] { return finished_; })) {
              std::fprintf(stderr, "hang: %s did not end within %lld ms\n", what.c_str(),
                           static_cast<long long>(guard.count()));
              std::abort();
          }
      })
{
}

HangGuard::~HangGuard()
{
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    done_.notify_all();
    watch_.join();
}

}  // namespace cardpush::testing
