// A device layer for the tests and benchmarks that run the link on the real
// one: every call goes to the wrapped layer, except the three calls that read
// the registry key of installed serial ports, which list exactly the ports
// given here. The link's port search then meets the pseudo-terminals a test
// names and never the machine's own serial devices (tests run as root, and
// an open of a UART raises its modem lines and puts bytes on its line).
// Should a test name one all the same, CreateFileA refuses it as missing:
// the only terminals it passes on are pseudo-terminals.
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

#include "support/forwarding_comm_api.h"

namespace cardpush::testing {

class PortListOverride final : public ForwardingCommApi {
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
    LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access,
                       HKEY* key) override;
    LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* reserved,
                       DWORD* type, BYTE* data, DWORD* dataLength) override;
    LONG RegCloseKey(HKEY key) override;

private:
    std::mutex mutex_;
    std::vector<std::string> ports_;
    // Open keys by their handle's number, each with the ports it lists.
    std::map<std::uintptr_t, std::vector<std::string>> keys_;
    std::uintptr_t nextKey_ = 0x5E000;
};

}  // namespace cardpush::testing
