#include "platform/fake_comm_api.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/cp1251.h"

namespace cardpush::test {
namespace {

// OVERLAPPED.Internal while a transfer is outstanding; afterwards it holds 0
// or the Win32 error the transfer ended with.
constexpr ULONG_PTR kPending = 0x103;

thread_local DWORD lastError = ERROR_SUCCESS;

HANDLE ToHandle(std::uintptr_t value)
{
    return reinterpret_cast<HANDLE>(value);
}
std::uintptr_t FromHandle(HANDLE handle)
{
    return reinterpret_cast<std::uintptr_t>(handle);
}

std::string Bytes(const void* data, std::size_t size)
{
    return std::string(static_cast<const char*>(data), size);
}

}  // namespace

// --- scripting ---

void FakeCommApi::FailNext(Call fn, DWORD error, int times)
{
    std::lock_guard lock(mutex_);
    if (times < 0) {
        persistentFailures_[fn] = error;
        return;
    }
    auto& queue = failures_[fn];
    for (int i = 0; i < times; ++i) {
        queue.push_back(error);
    }
}

void FakeCommApi::Receive(std::string_view bytes, bool signal)
{
    std::lock_guard lock(mutex_);
    input_ += bytes;
    if (signal) {
        raisedEvents_ |= EV_RXCHAR & mask_;
        DeliverEvents();
    }
    Changed();
}

void FakeCommApi::RaiseEvents(DWORD events)
{
    std::lock_guard lock(mutex_);
    raisedEvents_ |= events & mask_;
    DeliverEvents();
    Changed();
}

void FakeCommApi::SetCommErrors(DWORD flags)
{
    std::lock_guard lock(mutex_);
    commErrors_ = flags;
}

void FakeCommApi::SetModemStatus(DWORD status)
{
    std::lock_guard lock(mutex_);
    modemStatus_ = status;
}

void FakeCommApi::HoldWrites(bool hold)
{
    std::lock_guard lock(mutex_);
    holdWrites_ = hold;
}

void FakeCommApi::ShortenNextWrite(DWORD bytes)
{
    std::lock_guard lock(mutex_);
    shortWrite_ = bytes;
}

void FakeCommApi::AddPortValue(std::string name, std::string data)
{
    std::lock_guard lock(mutex_);
    portValues_.emplace_back(std::move(name), std::move(data));
}

void FakeCommApi::SetMissingAccess(std::optional<std::string> group)
{
    std::lock_guard lock(mutex_);
    missingAccess_ = std::move(group);
}

// --- observation ---

const char* NameOf(Call call)
{
    static constexpr const char* kNames[] = {"CreateFileA",         "CloseHandle",
                                             "SetupComm",           "SetCommState",
                                             "SetCommTimeouts",     "SetCommMask",
                                             "WaitCommEvent",       "ReadFile",
                                             "WriteFile",           "GetOverlappedResult",
                                             "PurgeComm",           "ClearCommError",
                                             "GetCommModemStatus",  "EscapeCommFunction",
                                             "CreateEventA",        "SetEvent",
                                             "WaitForSingleObject", "WaitForMultipleObjects",
                                             "RegOpenKeyExA",       "RegEnumValueA",
                                             "RegCloseKey",         "CompareStringA"};
    static_assert(std::size(kNames) == static_cast<std::size_t>(Call::CompareStringA) + 1);
    return kNames[static_cast<std::size_t>(call)];
}

void PrintTo(Call call, std::ostream* out)
{
    *out << NameOf(call);
}

std::vector<FakeCall> FakeCommApi::Calls() const
{
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<FakeCall> FakeCommApi::CallsOf(Call fn) const
{
    std::lock_guard lock(mutex_);
    std::vector<FakeCall> out;
    std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(out),
                 [&](const FakeCall& c) { return c.fn == fn; });
    return out;
}

std::size_t FakeCommApi::CountOf(Call fn) const
{
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(calls_.begin(), calls_.end(), [&](const FakeCall& c) { return c.fn == fn; }));
}

std::vector<std::string> FakeCommApi::DeviceCallNames() const
{
    static const Call kSkipped[] = {Call::WaitForMultipleObjects, Call::WaitForSingleObject,
                                    Call::WaitCommEvent,          Call::GetOverlappedResult,
                                    Call::CreateEventA,           Call::SetEvent};
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const FakeCall& c : calls_) {
        if (std::find(std::begin(kSkipped), std::end(kSkipped), c.fn) == std::end(kSkipped)) {
            out.emplace_back(NameOf(c.fn));
        }
    }
    return out;
}

void FakeCommApi::ClearCalls()
{
    std::lock_guard lock(mutex_);
    calls_.clear();
}

std::string FakeCommApi::Written() const
{
    std::lock_guard lock(mutex_);
    return written_;
}

std::size_t FakeCommApi::InputQueued() const
{
    std::lock_guard lock(mutex_);
    return input_.size();
}

DWORD FakeCommApi::EventMask() const
{
    std::lock_guard lock(mutex_);
    return mask_;
}

bool FakeCommApi::EventWaitPending() const
{
    std::lock_guard lock(mutex_);
    return waitOverlapped_ != nullptr;
}

int FakeCommApi::OpenDevices() const
{
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(objects_.begin(), objects_.end(), [](const auto& o) {
        return o.second.kind == Kind::Device;
    }));
}

int FakeCommApi::OpenEvents() const
{
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(objects_.begin(), objects_.end(), [](const auto& o) {
        return o.second.kind == Kind::Event;
    }));
}

int FakeCommApi::OpenKeys() const
{
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(objects_.begin(), objects_.end(), [](const auto& o) {
        return o.second.kind == Kind::Key;
    }));
}

bool FakeCommApi::WaitUntil(const std::function<bool()>& pred, int seconds) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(seconds), pred);
}

std::function<bool()> FakeCommApi::Called(Call fn, std::size_t n) const
{
    // Evaluated by WaitUntil with the lock already held.
    return [this, fn, n] {
        return static_cast<std::size_t>(std::count_if(
                   calls_.begin(), calls_.end(), [&](const FakeCall& c) { return c.fn == fn; })) >=
               n;
    };
}

// --- internals (called with the lock held) ---

void FakeCommApi::Record(FakeCall call)
{
    calls_.push_back(std::move(call));
    Changed();
}

bool FakeCommApi::Fails(Call fn)
{
    if (auto it = persistentFailures_.find(fn); it != persistentFailures_.end()) {
        lastError = it->second;
        return true;
    }
    auto it = failures_.find(fn);
    if (it == failures_.end() || it->second.empty()) {
        return false;
    }
    lastError = it->second.front();
    it->second.pop_front();
    return true;
}

bool FakeCommApi::IsDevice(HANDLE handle) const
{
    auto it = objects_.find(FromHandle(handle));
    return it != objects_.end() && it->second.kind == Kind::Device;
}

bool FakeCommApi::Fail(DWORD error)
{
    lastError = error;
    return false;
}

void FakeCommApi::Signal(HANDLE event, bool on)
{
    auto it = objects_.find(FromHandle(event));
    if (it != objects_.end() && it->second.kind == Kind::Event) {
        it->second.signalled = on;
    }
    Changed();
}

void FakeCommApi::Start(OVERLAPPED* overlapped)
{
    overlapped->Internal = kPending;
    overlapped->InternalHigh = 0;
    Signal(overlapped->hEvent, false);
}

void FakeCommApi::Complete(OVERLAPPED* overlapped, DWORD status, DWORD count)
{
    overlapped->Internal = status;
    overlapped->InternalHigh = count;
    Signal(overlapped->hEvent, true);
}

void FakeCommApi::DeliverEvents()
{
    if (waitOverlapped_ != nullptr && raisedEvents_ != 0) {
        *waitMask_ = raisedEvents_;
        raisedEvents_ = 0;
        OVERLAPPED* done = waitOverlapped_;
        waitOverlapped_ = nullptr;
        waitMask_ = nullptr;
        Complete(done, ERROR_SUCCESS, 0);
    }
}

// --- devices ---

HANDLE FakeCommApi::CreateFileA(const char* name, DWORD access, DWORD shareMode, void*,
                                DWORD disposition, DWORD flags, HANDLE)
{
    std::lock_guard lock(mutex_);
    Record({Call::CreateFileA, nullptr, {access, shareMode, disposition, flags}, name});
    if (Fails(Call::CreateFileA)) {
        return INVALID_HANDLE_VALUE;
    }
    for (const auto& [handle, object] : objects_) {
        if (object.kind == Kind::Device && object.path == name) {
            lastError = ERROR_ACCESS_DENIED;
            return INVALID_HANDLE_VALUE;
        }
    }
    const std::uintptr_t handle = nextHandle_++;
    objects_[handle] = Object{Kind::Device, false, false, name};
    mask_ = 0;
    raisedEvents_ = 0;
    return ToHandle(handle);
}

BOOL FakeCommApi::CloseHandle(HANDLE handle)
{
    std::lock_guard lock(mutex_);
    Record({Call::CloseHandle, handle, {}, {}});
    if (Fails(Call::CloseHandle)) {
        return FALSE;
    }
    auto it = objects_.find(FromHandle(handle));
    if (it == objects_.end() || it->second.kind == Kind::Key) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (it->second.kind == Kind::Device) {
        // Closing a device ends whatever was outstanding on it.
        if (waitOverlapped_ != nullptr) {
            OVERLAPPED* wait = waitOverlapped_;
            waitOverlapped_ = nullptr;
            waitMask_ = nullptr;
            Complete(wait, ERROR_OPERATION_ABORTED, 0);
        }
        for (const PendingWrite& w : pendingWrites_) {
            Complete(w.overlapped, ERROR_OPERATION_ABORTED, 0);
        }
        pendingWrites_.clear();
        mask_ = 0;
    }
    objects_.erase(it);
    return TRUE;
}

BOOL FakeCommApi::SetupComm(HANDLE device, DWORD inQueue, DWORD outQueue)
{
    std::lock_guard lock(mutex_);
    Record({Call::SetupComm, device, {inQueue, outQueue}, {}});
    if (Fails(Call::SetupComm)) {
        return FALSE;
    }
    return IsDevice(device) ? TRUE : Fail(ERROR_INVALID_HANDLE);
}

BOOL FakeCommApi::SetCommState(HANDLE device, DCB* dcb)
{
    std::lock_guard lock(mutex_);
    Record({Call::SetCommState, device, {}, Bytes(dcb, sizeof(DCB))});
    if (Fails(Call::SetCommState)) {
        return FALSE;
    }
    return IsDevice(device) ? TRUE : Fail(ERROR_INVALID_HANDLE);
}

BOOL FakeCommApi::SetCommTimeouts(HANDLE device, COMMTIMEOUTS* t)
{
    std::lock_guard lock(mutex_);
    Record({Call::SetCommTimeouts,
            device,
            {t->ReadIntervalTimeout, t->ReadTotalTimeoutMultiplier, t->ReadTotalTimeoutConstant,
             t->WriteTotalTimeoutMultiplier, t->WriteTotalTimeoutConstant},
            Bytes(t, sizeof(COMMTIMEOUTS))});
    if (Fails(Call::SetCommTimeouts)) {
        return FALSE;
    }
    return IsDevice(device) ? TRUE : Fail(ERROR_INVALID_HANDLE);
}

BOOL FakeCommApi::SetCommMask(HANDLE device, DWORD mask)
{
    std::lock_guard lock(mutex_);
    Record({Call::SetCommMask, device, {mask}, {}});
    if (Fails(Call::SetCommMask)) {
        return FALSE;
    }
    if (!IsDevice(device)) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    mask_ = mask;
    raisedEvents_ &= mask;
    // A new mask completes an outstanding wait with no events.
    if (waitOverlapped_ != nullptr) {
        *waitMask_ = 0;
        OVERLAPPED* wait = waitOverlapped_;
        waitOverlapped_ = nullptr;
        waitMask_ = nullptr;
        Complete(wait, ERROR_SUCCESS, 0);
    }
    return TRUE;
}

BOOL FakeCommApi::WaitCommEvent(HANDLE device, DWORD* mask, OVERLAPPED* overlapped)
{
    std::lock_guard lock(mutex_);
    Record({Call::WaitCommEvent, device, {}, {}});
    if (Fails(Call::WaitCommEvent)) {
        return FALSE;
    }
    if (!IsDevice(device)) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (waitOverlapped_ != nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (raisedEvents_ != 0) {
        *mask = raisedEvents_;
        raisedEvents_ = 0;
        Complete(overlapped, ERROR_SUCCESS, 0);
        return TRUE;
    }
    Start(overlapped);
    waitMask_ = mask;
    waitOverlapped_ = overlapped;
    return Fail(ERROR_IO_PENDING);
}

BOOL FakeCommApi::ReadFile(HANDLE device, void* buffer, DWORD count, DWORD* read,
                           OVERLAPPED* overlapped)
{
    std::lock_guard lock(mutex_);
    Record({Call::ReadFile, device, {count}, {}});
    if (Fails(Call::ReadFile)) {
        return FALSE;
    }
    if (!IsDevice(device)) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    // The default time-outs: a read returns at once with what has arrived.
    const auto n = static_cast<DWORD>(std::min<std::size_t>(count, input_.size()));
    std::memcpy(buffer, input_.data(), n);
    input_.erase(0, n);
    *read = n;
    Complete(overlapped, ERROR_SUCCESS, n);
    return TRUE;
}

BOOL FakeCommApi::WriteFile(HANDLE device, const void* buffer, DWORD count, DWORD* written,
                            OVERLAPPED* overlapped)
{
    std::lock_guard lock(mutex_);
    Record({Call::WriteFile, device, {count}, Bytes(buffer, count)});
    if (Fails(Call::WriteFile)) {
        return FALSE;
    }
    if (!IsDevice(device)) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (holdWrites_) {
        Start(overlapped);
        pendingWrites_.push_back({overlapped, Bytes(buffer, count)});
        *written = 0;
        return Fail(ERROR_IO_PENDING);
    }
    if (shortWrite_) {
        count = std::min(count, *shortWrite_);
        shortWrite_.reset();
    }
    written_.append(static_cast<const char*>(buffer), count);
    *written = count;
    Complete(overlapped, ERROR_SUCCESS, count);
    return TRUE;
}

BOOL FakeCommApi::GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* transferred,
                                      BOOL wait)
{
    std::unique_lock lock(mutex_);
    Record({Call::GetOverlappedResult, device, {static_cast<DWORD>(wait)}, {}});
    if (Fails(Call::GetOverlappedResult)) {
        return FALSE;
    }
    if (overlapped->Internal == kPending) {
        if (!wait) {
            return Fail(ERROR_IO_INCOMPLETE);
        }
        changed_.wait(lock, [&] { return overlapped->Internal != kPending; });
    }
    *transferred = static_cast<DWORD>(overlapped->InternalHigh);
    if (overlapped->Internal != ERROR_SUCCESS) {
        return Fail(static_cast<DWORD>(overlapped->Internal));
    }
    return TRUE;
}

BOOL FakeCommApi::PurgeComm(HANDLE device, DWORD flags)
{
    std::lock_guard lock(mutex_);
    Record({Call::PurgeComm, device, {flags}, {}});
    if (Fails(Call::PurgeComm)) {
        return FALSE;
    }
    if (!IsDevice(device)) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (flags & PURGE_TXABORT) {
        for (const PendingWrite& w : pendingWrites_) {
            Complete(w.overlapped, ERROR_OPERATION_ABORTED, 0);
        }
        pendingWrites_.clear();
    }
    if (flags & PURGE_RXCLEAR) {
        input_.clear();
    }
    return TRUE;
}

BOOL FakeCommApi::ClearCommError(HANDLE device, DWORD* errors, COMSTAT* status)
{
    std::lock_guard lock(mutex_);
    Record({Call::ClearCommError, device, {}, {}});
    if (Fails(Call::ClearCommError)) {
        return FALSE;
    }
    if (!IsDevice(device)) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (errors != nullptr) {
        *errors = commErrors_;
    }
    commErrors_ = 0;
    if (status != nullptr) {
        *status = COMSTAT{};
        status->cbInQue = static_cast<DWORD>(input_.size());
        status->cbOutQue = 0;
    }
    return TRUE;
}

BOOL FakeCommApi::GetCommModemStatus(HANDLE device, DWORD* status)
{
    std::lock_guard lock(mutex_);
    Record({Call::GetCommModemStatus, device, {}, {}});
    if (Fails(Call::GetCommModemStatus)) {
        return FALSE;
    }
    if (!IsDevice(device)) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    *status = modemStatus_;
    return TRUE;
}

BOOL FakeCommApi::EscapeCommFunction(HANDLE device, DWORD function)
{
    std::lock_guard lock(mutex_);
    Record({Call::EscapeCommFunction, device, {function}, {}});
    if (Fails(Call::EscapeCommFunction)) {
        return FALSE;
    }
    return IsDevice(device) ? TRUE : Fail(ERROR_INVALID_HANDLE);
}

// --- events and waits ---

HANDLE FakeCommApi::CreateEventA(void*, BOOL manualReset, BOOL initialState, const char*)
{
    std::lock_guard lock(mutex_);
    Record({Call::CreateEventA,
            nullptr,
            {static_cast<DWORD>(manualReset), static_cast<DWORD>(initialState)},
            {}});
    if (Fails(Call::CreateEventA)) {
        return nullptr;
    }
    const std::uintptr_t handle = nextHandle_++;
    objects_[handle] = Object{Kind::Event, manualReset != FALSE, initialState != FALSE, {}};
    return ToHandle(handle);
}

BOOL FakeCommApi::SetEvent(HANDLE event)
{
    std::lock_guard lock(mutex_);
    Record({Call::SetEvent, event, {}, {}});
    if (Fails(Call::SetEvent)) {
        return FALSE;
    }
    auto it = objects_.find(FromHandle(event));
    if (it == objects_.end() || it->second.kind != Kind::Event) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    Signal(event, true);
    return TRUE;
}

DWORD FakeCommApi::WaitForSingleObject(HANDLE object, DWORD milliseconds)
{
    return WaitForMultipleObjects(1, &object, FALSE, milliseconds);
}

DWORD FakeCommApi::WaitForMultipleObjects(DWORD count, const HANDLE* objects, BOOL waitAll,
                                          DWORD milliseconds)
{
    std::unique_lock lock(mutex_);
    Record({count == 1 ? Call::WaitForSingleObject : Call::WaitForMultipleObjects,
            objects[0],
            {count, static_cast<DWORD>(waitAll), milliseconds},
            {}});
    if (Fails(count == 1 ? Call::WaitForSingleObject : Call::WaitForMultipleObjects)) {
        return WAIT_FAILED;
    }
    // Which object is signalled, or count when none; -1 when a handle is bad.
    auto ready = [&]() -> long {
        for (DWORD i = 0; i < count; ++i) {
            auto it = objects_.find(FromHandle(objects[i]));
            if (it == objects_.end() || it->second.kind != Kind::Event) {
                return -1;
            }
            if (it->second.signalled) {
                return static_cast<long>(i);
            }
        }
        return static_cast<long>(count);
    };
    long index = ready();
    if (index == static_cast<long>(count)) {
        auto done = [&] { return (index = ready()) != static_cast<long>(count); };
        if (milliseconds == INFINITE) {
            changed_.wait(lock, done);
        } else if (!changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), done)) {
            return WAIT_TIMEOUT;
        }
    }
    if (index < 0) {
        lastError = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    Object& event = objects_[FromHandle(objects[index])];
    if (!event.manualReset) {
        event.signalled = false;
    }
    return WAIT_OBJECT_0 + static_cast<DWORD>(index);
}

DWORD FakeCommApi::GetLastError()
{
    return lastError;
}

// --- the registry key of installed ports ---

LONG FakeCommApi::RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access,
                                HKEY* key)
{
    std::lock_guard lock(mutex_);
    Record({Call::RegOpenKeyExA,
            root,
            {options, access},
            subKey != nullptr ? std::string(subKey) : std::string()});
    if (Fails(Call::RegOpenKeyExA)) {
        return static_cast<LONG>(lastError);
    }
    const std::uintptr_t handle = nextHandle_++;
    objects_[handle] = Object{Kind::Key, false, false, subKey};
    *key = reinterpret_cast<HKEY>(handle);
    return ERROR_SUCCESS;
}

LONG FakeCommApi::RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD*,
                                DWORD* type, BYTE* data, DWORD* dataLength)
{
    std::lock_guard lock(mutex_);
    Record({Call::RegEnumValueA, key, {index, *nameLength, *dataLength}, {}});
    if (Fails(Call::RegEnumValueA)) {
        return static_cast<LONG>(lastError);
    }
    if (index >= portValues_.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    const auto& [valueName, valueData] = portValues_[index];
    // The name's capacity counts its terminating NUL; the data's does not.
    if (valueName.size() + 1 > *nameLength || valueData.size() > *dataLength) {
        *dataLength = static_cast<DWORD>(valueData.size());
        return ERROR_MORE_DATA;
    }
    std::memcpy(name, valueName.c_str(), valueName.size() + 1);
    *nameLength = static_cast<DWORD>(valueName.size());
    std::memcpy(data, valueData.data(), valueData.size());
    *dataLength = static_cast<DWORD>(valueData.size());
    if (type != nullptr) {
        *type = REG_SZ;
    }
    return ERROR_SUCCESS;
}

LONG FakeCommApi::RegCloseKey(HKEY key)
{
    std::lock_guard lock(mutex_);
    Record({Call::RegCloseKey, key, {}, {}});
    auto it = objects_.find(FromHandle(key));
    if (it == objects_.end() || it->second.kind != Kind::Key) {
        return ERROR_INVALID_HANDLE;
    }
    objects_.erase(it);
    return ERROR_SUCCESS;
}

int FakeCommApi::CompareStringA(LCID locale, DWORD flags, const char* a, int aLength, const char* b,
                                int bLength)
{
    std::lock_guard lock(mutex_);
    Record({Call::CompareStringA, nullptr, {locale, flags}, {}});
    const std::size_t na = aLength < 0 ? std::strlen(a) : static_cast<std::size_t>(aLength);
    const std::size_t nb = bLength < 0 ? std::strlen(b) : static_cast<std::size_t>(bLength);
    const int order = CompareCp1251(std::string_view(a, na), std::string_view(b, nb),
                                    (flags & NORM_IGNORECASE) != 0);
    return order < 0 ? CSTR_LESS_THAN : order > 0 ? CSTR_GREATER_THAN : CSTR_EQUAL;
}

std::optional<std::string> FakeCommApi::MissingAccess(const char* /*name*/)
{
    std::lock_guard lock(mutex_);
    return missingAccess_;
}

}  // namespace cardpush::test
