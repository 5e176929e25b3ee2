// The kernel objects of the POSIX device layer: a handle table, events with
// Win32 semantics, the waits on them, and the per-thread last error.
//
// Every HANDLE (and HKEY) that the layer hands out is a key of one table. A
// key is never reused, so a stale handle fails with ERROR_INVALID_HANDLE
// instead of reaching some newer object. Callers keep an object alive while
// they use it by holding the shared_ptr that Find returns; CloseHandle only
// drops the table's reference.
//
// All calls are thread-safe.
#pragma once

#include <memory>
#include <mutex>
#include <span>
#include <unordered_map>

#include "platform/win32_types.h"

namespace cardpush::platform::posix {

void SetLastError(DWORD code);
DWORD LastError();

class KernelObject {
public:
    virtual ~KernelObject() = default;
};

// A Win32 event: manual-reset (stays signalled until Reset) or auto-reset
// (one satisfied wait resets it).
class Event final : public KernelObject {
public:
    Event(bool manualReset, bool signalled);

    void Set();
    void Reset();

private:
    friend DWORD WaitForEvents(std::span<Event* const> events, bool waitAll, DWORD milliseconds);

    const bool manualReset_;
    bool signalled_;  // guarded by the one lock that all events share
};

// WaitForMultipleObjects on events: WAIT_OBJECT_0 + i for the first signalled
// event (any) or WAIT_OBJECT_0 once all are signalled together (all),
// WAIT_TIMEOUT when milliseconds pass first (INFINITE: never). Auto-reset
// events that satisfy the wait are reset.
DWORD WaitForEvents(std::span<Event* const> events, bool waitAll, DWORD milliseconds);

class HandleTable {
public:
    // Lives until the process ends: devices still open at exit are left to
    // the operating system rather than torn down under running threads.
    static HandleTable& Instance();

    HANDLE Insert(std::shared_ptr<KernelObject> object);
    std::shared_ptr<KernelObject> Find(HANDLE handle) const;
    std::shared_ptr<KernelObject> Remove(HANDLE handle);

    template <class T>
    std::shared_ptr<T> FindAs(HANDLE handle) const
    {
        return std::dynamic_pointer_cast<T>(Find(handle));
    }

private:
    mutable std::mutex mutex_;
    std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> objects_;
    std::uintptr_t nextKey_ = 0x1000;
};

}  // namespace cardpush::platform::posix
