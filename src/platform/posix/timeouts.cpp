#include "platform/posix/timeouts.h"

#include <cstdint>

namespace cardpush::platform::posix {

namespace {

// Longer time-outs than this (about 99 days) count as none.
constexpr std::uint64_t kLongestTimeout = std::uint64_t{1} << 33;

// multiplier * count + constant, as the driver adds them up.
std::optional<std::chrono::milliseconds> TotalTimeout(DWORD multiplier, DWORD constant, DWORD count)
{
    if (multiplier == 0 && constant == 0) {
        return std::nullopt;
    }
    // Cannot overflow: (2^32 - 1)^2 + 2^32 - 1 < 2^64.
    const std::uint64_t total = std::uint64_t{multiplier} * count + constant;
    if (total > kLongestTimeout) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(total);
}

}  // namespace

bool TimeoutsAccepted(const COMMTIMEOUTS& timeouts)
{
    return !(timeouts.ReadIntervalTimeout == MAXDWORD &&
             timeouts.ReadTotalTimeoutMultiplier == MAXDWORD &&
             timeouts.ReadTotalTimeoutConstant == MAXDWORD);
}

TransferLimits ReadLimits(const COMMTIMEOUTS& timeouts, DWORD count)
{
    const DWORD interval = timeouts.ReadIntervalTimeout;
    const DWORD multiplier = timeouts.ReadTotalTimeoutMultiplier;
    const DWORD constant = timeouts.ReadTotalTimeoutConstant;
    TransferLimits limits;
    if (interval == MAXDWORD && multiplier == 0 && constant == 0) {
        limits.total = std::chrono::milliseconds(0);  // whatever has arrived, at once
    } else if (interval == MAXDWORD && multiplier == MAXDWORD && constant != 0) {
        limits.returnOnFirstByte = true;  // wait up to the constant for a first byte
        limits.total = std::chrono::milliseconds(constant);
    } else {
        limits.total = TotalTimeout(multiplier, constant, count);
        if (interval != 0 && interval != MAXDWORD) {
            limits.interval = std::chrono::milliseconds(interval);
        }
    }
    return limits;
}

TransferLimits WriteLimits(const COMMTIMEOUTS& timeouts, DWORD count)
{
    TransferLimits limits;
    limits.total = TotalTimeout(timeouts.WriteTotalTimeoutMultiplier,
                                timeouts.WriteTotalTimeoutConstant, count);
    return limits;
}

}  // namespace cardpush::platform::posix
