#include "platform/posix/kernel_objects.h"

#include <chrono>
#include <condition_variable>
#include <optional>

namespace cardpush::platform::posix {

namespace {

// One lock and one condition for all events: a wait on several events then
// tests them all atomically, and the process has only a handful of waiters
// (the serial event thread and callers waiting for their transfers), so
// waking them all on every change costs little.
//
// Made once and never destroyed: a thread still waiting when the process
// exits would make the condition's destruction at exit wait for ever.
struct EventsState {
    std::mutex lock;
    std::condition_variable changed;
};
EventsState& Events()
{
    static EventsState* const state = new EventsState;
    return *state;
}

thread_local DWORD t_lastError = ERROR_SUCCESS;

}  // namespace

void SetLastError(DWORD code)
{
    t_lastError = code;
}

DWORD LastError()
{
    return t_lastError;
}

Event::Event(bool manualReset, bool signalled) : manualReset_(manualReset), signalled_(signalled) {}

void Event::Set()
{
    {
        std::lock_guard lock(Events().lock);
        signalled_ = true;
    }
    Events().changed.notify_all();
}

void Event::Reset()
{
    std::lock_guard lock(Events().lock);
    signalled_ = false;
}

DWORD WaitForEvents(std::span<Event* const> events, bool waitAll, DWORD milliseconds)
{
    std::optional<DWORD> result;
    // Runs under the lock; consumes auto-reset events only when it succeeds.
    const auto satisfied = [&] {
        if (waitAll) {
            for (Event* e : events) {
                if (!e->signalled_) {
                    return false;
                }
            }
            for (Event* e : events) {
                if (!e->manualReset_) {
                    e->signalled_ = false;
                }
            }
            result = WAIT_OBJECT_0;
            return true;
        }
        for (std::size_t i = 0; i < events.size(); ++i) {
            if (events[i]->signalled_) {
                if (!events[i]->manualReset_) {
                    events[i]->signalled_ = false;
                }
                result = WAIT_OBJECT_0 + static_cast<DWORD>(i);
                return true;
            }
        }
        return false;
    };

    std::unique_lock lock(Events().lock);
    if (milliseconds == INFINITE) {
        Events().changed.wait(lock, satisfied);
    } else {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        if (!Events().changed.wait_until(lock, deadline, satisfied)) {
            return WAIT_TIMEOUT;
        }
    }
    return *result;
}

HandleTable& HandleTable::Instance()
{
    static HandleTable* const table = new HandleTable;
    return *table;
}

HANDLE HandleTable::Insert(std::shared_ptr<KernelObject> object)
{
    std::lock_guard lock(mutex_);
    const std::uintptr_t key = nextKey_;
    nextKey_ += 4;
    objects_.emplace(key, std::move(object));
    return reinterpret_cast<HANDLE>(key);
}

std::shared_ptr<KernelObject> HandleTable::Find(HANDLE handle) const
{
    std::lock_guard lock(mutex_);
    const auto it = objects_.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == objects_.end() ? nullptr : it->second;
}

std::shared_ptr<KernelObject> HandleTable::Remove(HANDLE handle)
{
    std::lock_guard lock(mutex_);
    const auto it = objects_.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == objects_.end()) {
        return nullptr;
    }
    auto object = std::move(it->second);
    objects_.erase(it);
    return object;
}

}  // namespace cardpush::platform::posix
