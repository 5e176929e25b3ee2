// A device layer for tests: one serial line, its events and the registry key
// of installed ports, all in memory.
//
// Every call is recorded with its arguments, so a test can check exactly what
// the serial component asked of the driver (the DCB's bytes, the time-outs,
// masks, purge flags, escape functions, the device path). Any call can be made
// to fail with a chosen error code. The test plays the other end of the line:
// it injects received bytes, device events, driver error flags and modem
// lines.
//
// Events are real: manual- and auto-reset events whose waits block on a
// condition variable, so the serial event thread runs against this fake as it
// would against a driver. All members are thread-safe; GetLastError() is per
// calling thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/comm_api.h"

namespace cardpush::test {

// The calls of the device layer that the fake records and can fail.
enum class Call {
    CreateFileA,
    CloseHandle,
    SetupComm,
    SetCommState,
    SetCommTimeouts,
    SetCommMask,
    WaitCommEvent,
    ReadFile,
    WriteFile,
    GetOverlappedResult,
    PurgeComm,
    ClearCommError,
    GetCommModemStatus,
    EscapeCommFunction,
    CreateEventA,
    SetEvent,
    WaitForSingleObject,
    WaitForMultipleObjects,
    RegOpenKeyExA,
    RegEnumValueA,
    RegCloseKey,
    CompareStringA,
};
// The call's name as the device layer spells it ("SetCommState").
const char* NameOf(Call call);
void PrintTo(Call call, std::ostream* out);

struct FakeCall {
    Call fn;
    HANDLE handle = nullptr;  // the device, event or key the call was given
    std::vector<DWORD> args;  // the call's numeric arguments, in order
    std::string bytes;        // the path, the DCB or COMMTIMEOUTS record, the data written
};

class FakeCommApi final : public platform::CommApi {
public:
    FakeCommApi() = default;
    FakeCommApi(const FakeCommApi&) = delete;
    FakeCommApi& operator=(const FakeCommApi&) = delete;

    // --- scripting ---

    // The next `times` calls of fn fail with `error` (-1: every call from now
    // on). A failing call returns its failure value (FALSE, nullptr,
    // INVALID_HANDLE_VALUE, WAIT_FAILED) and sets the thread's last error; a
    // registry call returns the code itself.
    void FailNext(Call fn, DWORD error, int times = 1);

    // Bytes arriving on the line: appended to the driver's input queue; with
    // `signal`, EV_RXCHAR is raised as well.
    void Receive(std::string_view bytes, bool signal = true);
    // Device events: complete the outstanding WaitCommEvent with the events
    // the current mask watches, or keep them for the next wait. Events the
    // mask does not watch are dropped, as a driver does.
    void RaiseEvents(DWORD events);
    // Driver error flags (CE_*), reported and cleared by the next ClearCommError.
    void SetCommErrors(DWORD flags);
    void SetModemStatus(DWORD status);
    // While set, WriteFile leaves its transfer pending until PurgeComm aborts it.
    void HoldWrites(bool hold);
    // The next write completes without an error having written only its
    // first `bytes` bytes, as one that runs out of its write time-outs does.
    void ShortenNextWrite(DWORD bytes);

    // Registry values of the serial-port key, enumerated in the order added.
    void AddPortValue(std::string name, std::string data);
    // What MissingAccess answers for every port (nothing at first).
    void SetMissingAccess(std::optional<std::string> group);

    // --- observation ---

    std::vector<FakeCall> Calls() const;
    std::vector<FakeCall> CallsOf(Call fn) const;
    std::size_t CountOf(Call fn) const;
    // The names of the recorded calls, without the event waits and event
    // calls that the event thread repeats on every turn.
    std::vector<std::string> DeviceCallNames() const;
    void ClearCalls();

    std::string Written() const;  // every byte that completed a write
    std::size_t InputQueued() const;
    DWORD EventMask() const;
    bool EventWaitPending() const;  // a WaitCommEvent is outstanding
    int OpenDevices() const;
    int OpenEvents() const;
    int OpenKeys() const;

    // Blocks until pred() holds; pred is evaluated under the fake's lock
    // whenever a call is made or the test changes the line. Returns false if
    // it did not hold within `seconds` (a safety net against a hung test, not
    // a measure of speed).
    bool WaitUntil(const std::function<bool()>& pred, int seconds = 20) const;
    // pred for WaitUntil: fn has been called at least n times.
    std::function<bool()> Called(Call fn, std::size_t n = 1) const;

    // --- the device layer ---

    HANDLE CreateFileA(const char* name, DWORD access, DWORD shareMode, void* security,
                       DWORD disposition, DWORD flags, HANDLE templateFile) override;
    BOOL CloseHandle(HANDLE handle) override;
    BOOL SetupComm(HANDLE device, DWORD inQueue, DWORD outQueue) override;
    BOOL SetCommState(HANDLE device, DCB* dcb) override;
    BOOL SetCommTimeouts(HANDLE device, COMMTIMEOUTS* timeouts) override;
    BOOL SetCommMask(HANDLE device, DWORD mask) override;
    BOOL WaitCommEvent(HANDLE device, DWORD* mask, OVERLAPPED* overlapped) override;
    BOOL ReadFile(HANDLE device, void* buffer, DWORD count, DWORD* read,
                  OVERLAPPED* overlapped) override;
    BOOL WriteFile(HANDLE device, const void* buffer, DWORD count, DWORD* written,
                   OVERLAPPED* overlapped) override;
    BOOL GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* transferred,
                             BOOL wait) override;
    BOOL PurgeComm(HANDLE device, DWORD flags) override;
    BOOL ClearCommError(HANDLE device, DWORD* errors, COMSTAT* status) override;
    BOOL GetCommModemStatus(HANDLE device, DWORD* status) override;
    BOOL EscapeCommFunction(HANDLE device, DWORD function) override;
    HANDLE CreateEventA(void* security, BOOL manualReset, BOOL initialState,
                        const char* name) override;
    BOOL SetEvent(HANDLE event) override;
    DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) override;
    DWORD WaitForMultipleObjects(DWORD count, const HANDLE* objects, BOOL waitAll,
                                 DWORD milliseconds) override;
    DWORD GetLastError() override;
    LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access,
                       HKEY* key) override;
    LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* reserved,
                       DWORD* type, BYTE* data, DWORD* dataLength) override;
    LONG RegCloseKey(HKEY key) override;
    int CompareStringA(LCID locale, DWORD flags, const char* a, int aLength, const char* b,
                       int bLength) override;
    std::optional<std::string> MissingAccess(const char* name) override;

private:
    enum class Kind { Device, Event, Key };
    struct Object {
        Kind kind;
        bool manualReset = false;
        bool signalled = false;
        std::string path;  // devices
    };
    struct PendingWrite {
        OVERLAPPED* overlapped;
        std::string data;
    };

    void Record(FakeCall call);
    bool Fails(Call fn);  // consumes a scripted failure
    bool IsDevice(HANDLE handle) const;
    bool Fail(DWORD error);  // sets the last error, returns FALSE
    void Signal(HANDLE event, bool on);
    void Complete(OVERLAPPED* overlapped, DWORD status, DWORD count);
    void Start(OVERLAPPED* overlapped);
    void DeliverEvents();
    void Changed() { changed_.notify_all(); }

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<FakeCall> calls_;
    std::map<Call, std::deque<DWORD>> failures_;
    std::map<Call, DWORD> persistentFailures_;
    std::map<std::uintptr_t, Object> objects_;
    std::uintptr_t nextHandle_ = 0x1000;

    // The line.
    std::string input_;
    std::string written_;
    DWORD commErrors_ = 0;
    DWORD modemStatus_ = 0;
    DWORD mask_ = 0;
    DWORD raisedEvents_ = 0;
    DWORD* waitMask_ = nullptr;
    OVERLAPPED* waitOverlapped_ = nullptr;
    bool holdWrites_ = false;
    std::optional<DWORD> shortWrite_;
    std::vector<PendingWrite> pendingWrites_;

    // The registry key.
    std::vector<std::pair<std::string, std::string>> portValues_;
    std::optional<std::string> missingAccess_;
};

}  // namespace cardpush::test
