// A device layer for the tests and benchmarks that run the link on the real
// one: every call goes to the wrapped layer, except the three calls that read
// the registry key of installed serial ports, which list exactly the ports
// given here. The link's port search then meets the pseudo-terminals a test
// names and never the machine's own serial devices (tests run as root, and
// an open of the console's UART would put bytes on it).
//
// The key's values have the layout of the POSIX layer's: the value name
// "\Device\" + port, REG_SZ data holding the port name and its NUL.
//
// Thread-safe. The wrapped layer must outlive this one, and this one every
// port and link that uses it.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/comm_api.h"

namespace cardpush::testing {

class PortListOverride final : public platform::CommApi {
public:
    explicit PortListOverride(std::vector<std::string> ports = {},
                              platform::CommApi& devices = platform::SystemCommApi());
    PortListOverride(const PortListOverride&) = delete;
    PortListOverride& operator=(const PortListOverride&) = delete;

    // The ports that the key lists from its next opening on; a key already
    // open keeps the list it was opened with.
    void SetPorts(std::vector<std::string> ports);

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

private:
    platform::CommApi& devices_;
    std::mutex mutex_;
    std::vector<std::string> ports_;
    // Open keys by their handle's number, each with the ports it lists.
    std::map<std::uintptr_t, std::vector<std::string>> keys_;
    std::uintptr_t nextKey_ = 0x5E000;
};

}  // namespace cardpush::testing
