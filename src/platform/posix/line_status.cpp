// Line status of a real serial port: the kernel's error and line-change
// counters and the modem lines. A pseudo-terminal has neither; there every
// modem line reads as off and no line event ever comes.
#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cerrno>

#include "platform/posix/device.h"

namespace cardpush::platform::posix {

namespace {

// Error counters and modem lines have no descriptor event to poll for; they
// are sampled this often while a wait asks for them.
constexpr auto kLineStatusPeriod = std::chrono::milliseconds(50);
constexpr DWORD kLineStatusEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING | EV_ERR | EV_BREAK;

}  // namespace

// What the device offers, and where its counters and lines stand at open:
// only changes after it count.
void Device::ProbeLineStatus()
{
    serial_icounter_struct counts{};
    hasCounters_ = ::ioctl(fd_, TIOCGICOUNT, &counts) == 0;
    if (hasCounters_) {
        counters_ = {counts.cts,     counts.dsr,    counts.rng, counts.dcd,        counts.frame,
                     counts.overrun, counts.parity, counts.brk, counts.buf_overrun};
    }
    hasModemLines_ = ::ioctl(fd_, TIOCMGET, &modemBits_) == 0;
}

DWORD Device::ModemStatus(DWORD* status)
{
    std::lock_guard lock(mutex_);
    if (closing_) {
        return ERROR_INVALID_HANDLE;
    }
    if (status == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *status = 0;
    if (!hasModemLines_) {
        return ERROR_SUCCESS;  // a pseudo-terminal: every input line off
    }
    int bits = 0;
    if (::ioctl(fd_, TIOCMGET, &bits) != 0) {
        return Win32ErrorFromErrno(errno);
    }
    *status = ((bits & TIOCM_CTS) != 0 ? MS_CTS_ON : 0) |
              ((bits & TIOCM_DSR) != 0 ? MS_DSR_ON : 0) |
              ((bits & TIOCM_RI) != 0 ? MS_RING_ON : 0) | ((bits & TIOCM_CD) != 0 ? MS_RLSD_ON : 0);
    return ERROR_SUCCESS;
}

bool Device::LineStatusWantedLocked() const
{
    return (hasCounters_ || hasModemLines_) && wait_ && (mask_ & kLineStatusEvents) != 0;
}

void Device::PollLineStatusLocked(Clock::time_point now)
{
    nextStatusPoll_ = now + kLineStatusPeriod;
    DWORD events = 0;
    serial_icounter_struct counts{};
    if (hasCounters_ && ::ioctl(fd_, TIOCGICOUNT, &counts) == 0) {
        DWORD errors = 0;
        errors |= counts.frame != counters_.frame ? CE_FRAME : 0;
        errors |= counts.overrun != counters_.overrun ? CE_OVERRUN : 0;
        errors |= counts.parity != counters_.parity ? CE_RXPARITY : 0;
        errors |= counts.buf_overrun != counters_.bufOverrun ? CE_RXOVER : 0;
        errors |= counts.brk != counters_.brk ? CE_BREAK : 0;
        events |= counts.cts != counters_.cts ? EV_CTS : 0;
        events |= counts.dsr != counters_.dsr ? EV_DSR : 0;
        events |= counts.dcd != counters_.dcd ? EV_RLSD : 0;
        events |= counts.rng != counters_.rng ? EV_RING : 0;
        events |= (errors & (CE_FRAME | CE_OVERRUN | CE_RXPARITY | CE_RXOVER)) != 0 ? EV_ERR : 0;
        events |= (errors & CE_BREAK) != 0 ? EV_BREAK : 0;
        errors_ |= errors;
        counters_ = {counts.cts,     counts.dsr,    counts.rng, counts.dcd,        counts.frame,
                     counts.overrun, counts.parity, counts.brk, counts.buf_overrun};
    }
    // Some adapters count no line changes; their levels are compared instead.
    int bits = 0;
    if (hasModemLines_ && ::ioctl(fd_, TIOCMGET, &bits) == 0) {
        const int changed = bits ^ modemBits_;
        modemBits_ = bits;
        events |= (changed & TIOCM_CTS) != 0 ? EV_CTS : 0;
        events |= (changed & TIOCM_DSR) != 0 ? EV_DSR : 0;
        events |= (changed & TIOCM_CD) != 0 ? EV_RLSD : 0;
        // Windows reports a ring at its trailing edge.
        events |= (changed & TIOCM_RI) != 0 && (bits & TIOCM_RI) == 0 ? EV_RING : 0;
    }
    if (events != 0) {
        RaiseLocked(events);
    }
}

}  // namespace cardpush::platform::posix
