#include "platform/main_thread.h"

#include <cassert>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace cardpush::platform {
namespace {

struct Task {
    std::function<void()> fn;
    bool waited = false;  // a Synchronize caller waits for it
    bool done = false;
    std::exception_ptr error;
};

struct Queue {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::shared_ptr<Task>> tasks;
    std::thread::id gui;
    std::function<void()> wakeup;
    std::function<void(std::exception_ptr)> exceptionHook;
    // Wake() calls so far, for WaitAndServe.
    std::uint64_t wakes = 0;
};

// Made once and never destroyed. Threads of the tool may still wait on it
// (a Synchronize caller, a WaitServing loop) when the process ends, and a
// condition variable destroyed under a waiter blocks the exit for ever; as a
// static object it would be destroyed at exit, after main has returned.
Queue& TheQueue()
{
    static Queue* const queue = new Queue;
    return *queue;
}

void Enqueue(const std::shared_ptr<Task>& task)
{
    Queue& q = TheQueue();
    std::function<void()> wakeup;
    {
        std::lock_guard lock(q.mutex);
        q.tasks.push_back(task);
        wakeup = q.wakeup;
    }
    q.changed.notify_all();
    if (wakeup) {
        wakeup();
    }
}

// Runs one queued task, if any; returns false when the queue was empty.
bool RunOne()
{
    Queue& q = TheQueue();
    std::shared_ptr<Task> task;
    std::function<void(std::exception_ptr)> hook;
    {
        std::lock_guard lock(q.mutex);
        if (q.tasks.empty()) {
            return false;
        }
        task = std::move(q.tasks.front());
        q.tasks.pop_front();
        hook = q.exceptionHook;
    }
    std::exception_ptr error;
    try {
        task->fn();
    } catch (...) {
        error = std::current_exception();
    }
    if (error && !task->waited && hook) {
        hook(error);
    }
    {
        std::lock_guard lock(q.mutex);
        // The waiting caller becomes the error's only owner, so that the
        // exception object it rethrows is never freed on this thread. (Its
        // shared count lives in the C++ runtime, where a thread checker cannot
        // see the ordering it gives.)
        task->error = std::move(error);
        task->done = true;
    }
    q.changed.notify_all();
    return true;
}

}  // namespace

void MainThread::Bind()
{
    Queue& q = TheQueue();
    std::lock_guard lock(q.mutex);
    q.gui = std::this_thread::get_id();
}

bool MainThread::IsCurrent()
{
    Queue& q = TheQueue();
    std::lock_guard lock(q.mutex);
    return q.gui == std::this_thread::get_id();
}

void MainThread::SetWakeup(std::function<void()> wakeup)
{
    Queue& q = TheQueue();
    std::lock_guard lock(q.mutex);
    q.wakeup = std::move(wakeup);
}

void MainThread::SetExceptionHook(std::function<void(std::exception_ptr)> hook)
{
    Queue& q = TheQueue();
    std::lock_guard lock(q.mutex);
    q.exceptionHook = std::move(hook);
}

void MainThread::Synchronize(const std::function<void()>& fn)
{
    if (IsCurrent()) {
        fn();
        return;
    }
    auto task = std::make_shared<Task>();
    task->fn = fn;
    task->waited = true;
    Enqueue(task);

    Queue& q = TheQueue();
    std::exception_ptr error;
    {
        std::unique_lock lock(q.mutex);
        q.changed.wait(lock, [&] { return task->done; });
        error = std::move(task->error);
    }
    if (error) {
        std::rethrow_exception(error);
    }
}

void MainThread::Post(std::function<void()> fn)
{
    auto task = std::make_shared<Task>();
    task->fn = std::move(fn);
    Enqueue(task);
}

void MainThread::ServePending()
{
    assert(IsCurrent());
    while (RunOne()) {
    }
}

void MainThread::WaitServing(const std::function<bool()>& done)
{
    const bool serve = IsCurrent();
    Queue& q = TheQueue();
    for (;;) {
        {
            std::unique_lock lock(q.mutex);
            q.changed.wait(lock, [&] { return done() || (serve && !q.tasks.empty()); });
            if (done()) {
                return;
            }
        }
        ServePending();
    }
}

void MainThread::WaitAndServe(std::chrono::steady_clock::time_point deadline)
{
    assert(IsCurrent());
    Queue& q = TheQueue();
    {
        std::unique_lock lock(q.mutex);
        const std::uint64_t woken = q.wakes;
        q.changed.wait_until(lock, deadline, [&] { return !q.tasks.empty() || q.wakes != woken; });
    }
    ServePending();
}

void MainThread::Wake()
{
    Queue& q = TheQueue();
    {
        std::lock_guard lock(q.mutex);
        ++q.wakes;
    }
    q.changed.notify_all();
}

}  // namespace cardpush::platform
