// A device layer that passes every call on to another one: the base of a
// test's layer that watches or replaces a few calls and leaves the rest to
// the real layer. The wrapped layer must outlive this one.
#pragma once

#include "platform/comm_api.h"

namespace cardpush::testing {

class ForwardingCommApi : public platform::CommApi {
public:
    explicit ForwardingCommApi(platform::CommApi& next = platform::SystemCommApi()) : next_(next) {}

    HANDLE CreateFileA(const char* name, DWORD access, DWORD shareMode, void* security,
                       DWORD disposition, DWORD flags, HANDLE templateFile) override
    {
        return next_.CreateFileA(name, access, shareMode, security, disposition, flags,
                                 templateFile);
    }
    BOOL CloseHandle(HANDLE handle) override { return next_.CloseHandle(handle); }
    BOOL SetupComm(HANDLE device, DWORD inQueue, DWORD outQueue) override
    {
        return next_.SetupComm(device, inQueue, outQueue);
    }
    BOOL SetCommState(HANDLE device, DCB* dcb) override { return next_.SetCommState(device, dcb); }
    BOOL SetCommTimeouts(HANDLE device, COMMTIMEOUTS* timeouts) override
    {
        return next_.SetCommTimeouts(device, timeouts);
    }
    BOOL SetCommMask(HANDLE device, DWORD mask) override { return next_.SetCommMask(device, mask); }
    BOOL WaitCommEvent(HANDLE device, DWORD* mask, OVERLAPPED* overlapped) override
    {
        return next_.WaitCommEvent(device, mask, overlapped);
    }
    BOOL ReadFile(HANDLE device, void* buffer, DWORD count, DWORD* read,
                  OVERLAPPED* overlapped) override
    {
        return next_.ReadFile(device, buffer, count, read, overlapped);
    }
    BOOL WriteFile(HANDLE device, const void* buffer, DWORD count, DWORD* written,
                   OVERLAPPED* overlapped) override
    {
        return next_.WriteFile(device, buffer, count, written, overlapped);
    }
    BOOL GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* transferred,
                             BOOL wait) override
    {
        return next_.GetOverlappedResult(device, overlapped, transferred, wait);
    }
    BOOL PurgeComm(HANDLE device, DWORD flags) override { return next_.PurgeComm(device, flags); }
    BOOL ClearCommError(HANDLE device, DWORD* errors, COMSTAT* status) override
    {
        return next_.ClearCommError(device, errors, status);
    }
    BOOL GetCommModemStatus(HANDLE device, DWORD* status) override
    {
        return next_.GetCommModemStatus(device, status);
    }
    BOOL EscapeCommFunction(HANDLE device, DWORD function) override
    {
        return next_.EscapeCommFunction(device, function);
    }
    HANDLE CreateEventA(void* security, BOOL manualReset, BOOL initialState,
                        const char* name) override
    {
        return next_.CreateEventA(security, manualReset, initialState, name);
    }
    BOOL SetEvent(HANDLE event) override { return next_.SetEvent(event); }
    DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) override
    {
        return next_.WaitForSingleObject(object, milliseconds);
    }
    DWORD WaitForMultipleObjects(DWORD count, const HANDLE* objects, BOOL waitAll,
                                 DWORD milliseconds) override
    {
        return next_.WaitForMultipleObjects(count, objects, waitAll, milliseconds);
    }
    DWORD GetLastError() override { return next_.GetLastError(); }
    LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access,
                       HKEY* key) override
    {
        return next_.RegOpenKeyExA(root, subKey, options, access, key);
    }
    LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* reserved,
                       DWORD* type, BYTE* data, DWORD* dataLength) override
    {
        return next_.RegEnumValueA(key, index, name, nameLength, reserved, type, data, dataLength);
    }
    LONG RegCloseKey(HKEY key) override { return next_.RegCloseKey(key); }
    int CompareStringA(LCID locale, DWORD flags, const char* a, int aLength, const char* b,
                       int bLength) override
    {
        return next_.CompareStringA(locale, flags, a, aLength, b, bLength);
    }
    std::optional<std::string> MissingAccess(const char* name) override
    {
        return next_.MissingAccess(name);
    }
    bool NamesOtherThanAPort(const char* name) override { return next_.NamesOtherThanAPort(name); }
    std::shared_ptr<void> ShareTerminalLook() override { return next_.ShareTerminalLook(); }

private:
    platform::CommApi& next_;
};

}  // namespace cardpush::testing
