// COMMTIMEOUTS as Windows reads them, turned into the limits of one
// transfer: pure arithmetic, without a device.
#pragma once

#include <chrono>
#include <optional>

#include "platform/win32_types.h"

namespace cardpush::platform::posix {

struct TransferLimits {
    // From the start of the transfer; none: no total time-out.
    std::optional<std::chrono::milliseconds> total;
    // Reads: once a byte has come, the longest gap before the next; zero:
    // none.
    std::chrono::milliseconds interval{};
    // Reads: complete as soon as one byte has come.
    bool returnOnFirstByte = false;

    friend bool operator==(const TransferLimits&, const TransferLimits&) = default;
};

// Whether SetCommTimeouts takes the record: the driver refuses only every
// read value at MAXDWORD.
bool TimeoutsAccepted(const COMMTIMEOUTS& timeouts);

// The limits of a read or a write of count bytes under timeouts.
TransferLimits ReadLimits(const COMMTIMEOUTS& timeouts, DWORD count);
TransferLimits WriteLimits(const COMMTIMEOUTS& timeouts, DWORD count);

}  // namespace cardpush::platform::posix
