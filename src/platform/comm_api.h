// The device layer: the Win32 calls that the serial component makes, behind
// one interface.
//
// Implementations:
//   - win32/comm_api.cpp: the real kernel32/advapi32 calls, one to one;
//   - posix/comm_api.cpp: termios, pseudo-terminals and a small event
//     machinery of our own, giving each call the meaning it has on Windows;
//   - tests/platform/fake_comm_api.h: records calls, returns scripted results.
//
// Contract shared by every implementation:
//   - All calls are thread-safe; GetLastError() is per calling thread and is
//     set by every call that fails.
//   - HANDLEs from CreateFileA (devices) and CreateEventA (events) are closed
//     with CloseHandle.
//   - Overlapped operations complete by setting the OVERLAPPED's event; the
//     caller keeps the buffer and the OVERLAPPED alive until then.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/comm_api_fwd.h"
#include "platform/win32_types.h"

namespace cardpush::platform {

class CommApi {
public:
    virtual ~CommApi() = default;

    // Devices.
    virtual HANDLE CreateFileA(const char* name, DWORD access, DWORD shareMode, void* security,
                               DWORD disposition, DWORD flags, HANDLE templateFile) = 0;
    virtual BOOL CloseHandle(HANDLE handle) = 0;
    virtual BOOL SetupComm(HANDLE device, DWORD inQueue, DWORD outQueue) = 0;
    virtual BOOL SetCommState(HANDLE device, DCB* dcb) = 0;
    virtual BOOL SetCommTimeouts(HANDLE device, COMMTIMEOUTS* timeouts) = 0;
    virtual BOOL SetCommMask(HANDLE device, DWORD mask) = 0;
    virtual BOOL WaitCommEvent(HANDLE device, DWORD* mask, OVERLAPPED* overlapped) = 0;
    virtual BOOL ReadFile(HANDLE device, void* buffer, DWORD count, DWORD* read,
                          OVERLAPPED* overlapped) = 0;
    virtual BOOL WriteFile(HANDLE device, const void* buffer, DWORD count, DWORD* written,
                           OVERLAPPED* overlapped) = 0;
    virtual BOOL GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* transferred,
                                     BOOL wait) = 0;
    virtual BOOL PurgeComm(HANDLE device, DWORD flags) = 0;
    virtual BOOL ClearCommError(HANDLE device, DWORD* errors, COMSTAT* status) = 0;
    virtual BOOL GetCommModemStatus(HANDLE device, DWORD* status) = 0;
    virtual BOOL EscapeCommFunction(HANDLE device, DWORD function) = 0;

    // Events and waits.
    virtual HANDLE CreateEventA(void* security, BOOL manualReset, BOOL initialState,
                                const char* name) = 0;
    virtual BOOL SetEvent(HANDLE event) = 0;
    virtual DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) = 0;
    virtual DWORD WaitForMultipleObjects(DWORD count, const HANDLE* objects, BOOL waitAll,
                                         DWORD milliseconds) = 0;
    virtual DWORD GetLastError() = 0;

    // The registry key that lists the serial ports, and the sort of its values.
    virtual LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access,
                               HKEY* key) = 0;
    virtual LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLength,
                               DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataLength) = 0;
    virtual LONG RegCloseKey(HKEY key) = 0;
    virtual int CompareStringA(LCID locale, DWORD flags, const char* a, int aLength, const char* b,
                               int bLength) = 0;

    // Not a Win32 call. CreateFileA's ERROR_ACCESS_DENIED means that another
    // program holds the port, or, where the system keeps serial devices to a
    // group (POSIX: dialout), that this user is not allowed to open it. This
    // tells the second case for the port name as CreateFileA takes it,
    // without opening the device: nothing when the user has the rights (or
    // the system has no such rule, as Windows); otherwise the name of the
    // group the user lacks, or an empty text when no group would do.
    virtual std::optional<std::string> MissingAccess(const char* /*name*/) { return std::nullopt; }
    // Not a Win32 call. CreateFileA's ERROR_FILE_NOT_FOUND means that there
    // is no such port, or, where a port name is a path (POSIX), that the
    // path names something else (a file, a console), which the layer never
    // opens. True in the second case, told without opening it.
    virtual bool NamesOtherThanAPort(const char* /*name*/) { return false; }
    // Not a Win32 call. While the returned object lives, the calling
    // thread's opens of ports may share one look at what the system says
    // about its terminals (POSIX: which are somebody's controlling
    // terminal), for many ports opened within moments of each other.
    virtual std::shared_ptr<void> ShareTerminalLook() { return nullptr; }
};

}  // namespace cardpush::platform
