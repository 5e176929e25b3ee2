// The serial component's failures and their fixed operator messages.
//
// Every failure of the component leaves through RaiseComFault, which throws
// EComPort with the one message of its kind (Windows-1251), nothing appended.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace cardpush {

enum class ComFault : std::uint8_t {
    PortMissing,  // CreateFileA: ERROR_FILE_NOT_FOUND
    PortBusy,     // CreateFileA: ERROR_ACCESS_DENIED
    Write,        // starting or completing a write
    Read,         // starting or completing a read
    NoOperation,  // a transfer start or wait without its operation record
    PurgeComm,
    SetCommState,
    SetCommTimeouts,
    SetupComm,
    ClearCommError,
    GetCommModemStatus,
    EscapeCommFunction,
    PropertyWhileOpen,  // Port, or a change of SyncMethod, while open
    Registry,           // the list of installed ports
    PortClosed,         // a transfer, query or line change on a port that is not open
};

std::string_view ComFaultText(ComFault fault);

// A failure of the serial port component: its kind, and the one message of
// that kind as its text. No platform error number: callers that must tell
// failures apart look at the kind, never at the text.
class EComPort : public std::runtime_error {
public:
    explicit EComPort(ComFault fault)
        : std::runtime_error(std::string(ComFaultText(fault))), fault_(fault)
    {
    }
    ComFault Fault() const { return fault_; }

private:
    ComFault fault_;
};
[[noreturn]] void RaiseComFault(ComFault fault);

}  // namespace cardpush
