#include "serial/ComTypes.h"

#include <algorithm>
#include <iterator>

#include "serial/BCPort.h"

namespace cardpush {
namespace {

constexpr DWORD kBaudRateBits[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                   19200, 38400, 56000, 57600, 115200, 128000, 256000};

// The platform flag of each port event, indexed by TPortEvent, and of each
// error, indexed by TComError.
constexpr DWORD kEventFlags[8] = {EV_RXCHAR, EV_TXEMPTY, EV_RING, EV_CTS,
                                  EV_DSR,    EV_RLSD,    EV_ERR,  EV_RX80FULL};
constexpr DWORD kErrorFlags[8] = {CE_FRAME, CE_RXPARITY, CE_OVERRUN, CE_BREAK,
                                  CE_IOE,   CE_MODE,     CE_RXOVER,  CE_TXFULL};

// The elements whose flag is set in flags.
template <class E>
ByteSet<E> FromFlags(DWORD flags, const DWORD (&table)[8])
{
    ByteSet<E> set;
    for (unsigned e = 0; e < 8; ++e) {
        if ((flags & table[e]) != 0) {
            set.Include(static_cast<E>(e));
        }
    }
    return set;
}

}  // namespace

DWORD BaudRateBits(TBaudRate rate)
{
    // Anything outside the enumeration gets 0, which the driver refuses.
    return rate <= br256000 ? kBaudRateBits[rate] : 0;
}

DWORD PortEventsToMask(TPortEvents events)
{
    DWORD mask = 0;
    for (unsigned e = 0; e < 8; ++e) {
        if (events.Contains(static_cast<TPortEvent>(e))) {
            mask |= kEventFlags[e];
        }
    }
    return mask;
}

TPortEvents MaskToPortEvents(DWORD mask)
{
    return FromFlags<TPortEvent>(mask, kEventFlags);
}

TComErrors CommErrorsFromFlags(DWORD flags, TParity parity)
{
    // Parity errors mean nothing on a line that sends no parity bit.
    if (parity == paNone) {
        flags &= ~CE_RXPARITY;
    }
    return FromFlags<TComError>(flags, kErrorFlags);
}

// --- time-outs ---

void TComTimeouts::Assign(const TComTimeouts& source)
{
    std::copy(std::begin(source.values_), std::end(source.values_), std::begin(values_));
}

void TComTimeouts::Set(int index, std::int32_t value)
{
    if (values_[index] == value) {
        return;
    }
    values_[index] = value;
    if (port_ != nullptr && port_->Connected()) {
        port_->ApplyTimeouts();
    }
}

COMMTIMEOUTS TComTimeouts::ToDevice() const
{
    auto device = [](std::int32_t v) { return v < 0 ? MAXDWORD : static_cast<DWORD>(v); };
    return COMMTIMEOUTS{device(values_[0]), device(values_[1]), device(values_[2]),
                        device(values_[3]), device(values_[4])};
}

}  // namespace cardpush
