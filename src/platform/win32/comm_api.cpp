// The device layer on Windows: each call goes to kernel32 or advapi32 as it
// stands, so the serial component meets the real driver.
#include "platform/comm_api.h"

namespace cardpush::platform {

namespace {

class Win32CommApi final : public CommApi {
public:
    HANDLE CreateFileA(const char* name, DWORD access, DWORD shareMode, void* security,
                       DWORD disposition, DWORD flags, HANDLE templateFile) override
    {
        return ::CreateFileA(name, access, shareMode, static_cast<LPSECURITY_ATTRIBUTES>(security),
                             disposition, flags, templateFile);
    }
    BOOL CloseHandle(HANDLE handle) override { return ::CloseHandle(handle); }
    BOOL SetupComm(HANDLE device, DWORD inQueue, DWORD outQueue) override
    {
        return ::SetupComm(device, inQueue, outQueue);
    }
    BOOL SetCommState(HANDLE device, DCB* dcb) override { return ::SetCommState(device, dcb); }
    BOOL SetCommTimeouts(HANDLE device, COMMTIMEOUTS* timeouts) override
    {
        return ::SetCommTimeouts(device, timeouts);
    }
    BOOL SetCommMask(HANDLE device, DWORD mask) override { return ::SetCommMask(device, mask); }
    BOOL WaitCommEvent(HANDLE device, DWORD* mask, OVERLAPPED* overlapped) override
    {
        return ::WaitCommEvent(device, mask, overlapped);
    }
    BOOL ReadFile(HANDLE device, void* buffer, DWORD count, DWORD* read,
                  OVERLAPPED* overlapped) override
    {
        return ::ReadFile(device, buffer, count, read, overlapped);
    }
    BOOL WriteFile(HANDLE device, const void* buffer, DWORD count, DWORD* written,
                   OVERLAPPED* overlapped) override
    {
        return ::WriteFile(device, buffer, count, written, overlapped);
    }
    BOOL GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* transferred,
                             BOOL wait) override
    {
        return ::GetOverlappedResult(device, overlapped, transferred, wait);
    }
    BOOL PurgeComm(HANDLE device, DWORD flags) override { return ::PurgeComm(device, flags); }
    BOOL ClearCommError(HANDLE device, DWORD* errors, COMSTAT* status) override
    {
        return ::ClearCommError(device, errors, status);
    }
    BOOL GetCommModemStatus(HANDLE device, DWORD* status) override
    {
        return ::GetCommModemStatus(device, status);
    }
    BOOL EscapeCommFunction(HANDLE device, DWORD function) override
    {
        return ::EscapeCommFunction(device, function);
    }

    HANDLE CreateEventA(void* security, BOOL manualReset, BOOL initialState,
                        const char* name) override
    {
        return ::CreateEventA(static_cast<LPSECURITY_ATTRIBUTES>(security), manualReset,
                              initialState, name);
    }
    BOOL SetEvent(HANDLE event) override { return ::SetEvent(event); }
    DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) override
    {
        return ::WaitForSingleObject(object, milliseconds);
    }
    DWORD WaitForMultipleObjects(DWORD count, const HANDLE* objects, BOOL waitAll,
                                 DWORD milliseconds) override
    {
        return ::WaitForMultipleObjects(count, objects, waitAll, milliseconds);
    }
    DWORD GetLastError() override { return ::GetLastError(); }

    LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access,
                       HKEY* key) override
    {
        return ::RegOpenKeyExA(root, subKey, options, access, key);
    }
    LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* reserved,
                       DWORD* type, BYTE* data, DWORD* dataLength) override
    {
        return ::RegEnumValueA(key, index, name, nameLength, reserved, type, data, dataLength);
    }
    LONG RegCloseKey(HKEY key) override { return ::RegCloseKey(key); }
    int CompareStringA(LCID locale, DWORD flags, const char* a, int aLength, const char* b,
                       int bLength) override
    {
        return ::CompareStringA(locale, flags, a, aLength, b, bLength);
    }
};

}  // namespace

CommApi& SystemCommApi()
{
    static Win32CommApi api;
    return api;
}

}  // namespace cardpush::platform
