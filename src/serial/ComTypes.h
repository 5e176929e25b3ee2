// The serial port component's vocabulary: line settings, events, errors and
// line signals as enumerations and sets, their conversion to the device's
// flags, the port's time-outs and the record of one overlapped transfer.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>

#include "platform/win32_types.h"

namespace cardpush {

// A set of up to eight elements of an enumeration, stored in one byte with
// element k at bit k.
template <class E>
class ByteSet {
public:
    constexpr ByteSet() = default;
    constexpr ByteSet(std::initializer_list<E> elements)
    {
        for (E e : elements) {
            Include(e);
        }
    }
    static constexpr ByteSet FromBits(std::uint8_t bits)
    {
        ByteSet s;
        s.bits_ = bits;
        return s;
    }

    constexpr bool Contains(E e) const { return (bits_ >> static_cast<unsigned>(e)) & 1u; }
    constexpr void Include(E e)
    {
        bits_ |= static_cast<std::uint8_t>(1u << static_cast<unsigned>(e));
    }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr std::uint8_t Bits() const { return bits_; }
    friend constexpr bool operator==(ByteSet, ByteSet) = default;

private:
    std::uint8_t bits_ = 0;
};

enum TBaudRate : std::uint8_t {
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
enum TByteSize : std::uint8_t { bs5, bs6, bs7, bs8 };
enum TParity : std::uint8_t { paNone, paOdd, paEven, paMark, paSpace };
enum TStopBits : std::uint8_t { sb1, sb1_5, sb2 };
enum TSyncMethod : std::uint8_t { smThreadSync, smWindowSync, smNone };

enum TComError : std::uint8_t {
    ceFrame,
    ceRxParity,
    ceOverrun,
    ceBreak,
    ceIO,
    ceMode,
    ceRxOver,
    ceTxFull
};
using TComErrors = ByteSet<TComError>;

enum TPortEvent : std::uint8_t {
    pevRxChar,
    pevTxEmpty,
    pevRing,
    pevCTS,
    pevDSR,
    pevRLSD,
    pevError,
    pevRx80Full
};
using TPortEvents = ByteSet<TPortEvent>;

// The modem status shifted right by four.
enum TLineSignal : std::uint8_t { lsCTS, lsDSR, lsRing, lsRLSD };
using TLineSignals = ByteSet<TLineSignal>;

// Bits per second that the device gets for a TBaudRate.
DWORD BaudRateBits(TBaudRate rate);

// Port events to the platform's EV_* flags and back; flags without a port
// event are dropped.
DWORD PortEventsToMask(TPortEvents events);
TPortEvents MaskToPortEvents(DWORD mask);
// The driver's CE_* flags as TComErrors; CE_RXPARITY counts only when the
// line checks parity.
TComErrors CommErrorsFromFlags(DWORD flags, TParity parity);

class TBComPort;

// The five time-outs of a port, in milliseconds, in the order of the
// platform's COMMTIMEOUTS record. A negative value means MAXDWORD on the
// device. Changing a value of a port's own object on an open port sends all
// five again; an object made without a port only stores.
class TComTimeouts {
public:
    TComTimeouts() = default;
    explicit TComTimeouts(TBComPort* port) : port_(port) {}
    // The port binding is not copied: copying goes through Assign.
    TComTimeouts(const TComTimeouts&) = delete;
    TComTimeouts& operator=(const TComTimeouts&) = delete;

    // Copies the five values (not the port), without sending them anywhere.
    // Only another TComTimeouts can be a source: the type system rules out
    // assignment from an object of any other class.
    void Assign(const TComTimeouts& source);

    std::int32_t ReadInterval() const { return values_[0]; }
    std::int32_t ReadTotalMultiplier() const { return values_[1]; }
    std::int32_t ReadTotalConstant() const { return values_[2]; }
    std::int32_t WriteTotalMultiplier() const { return values_[3]; }
    std::int32_t WriteTotalConstant() const { return values_[4]; }
    void SetReadInterval(std::int32_t value) { Set(0, value); }
    void SetReadTotalMultiplier(std::int32_t value) { Set(1, value); }
    void SetReadTotalConstant(std::int32_t value) { Set(2, value); }
    void SetWriteTotalMultiplier(std::int32_t value) { Set(3, value); }
    void SetWriteTotalConstant(std::int32_t value) { Set(4, value); }

    // The record for SetCommTimeouts.
    COMMTIMEOUTS ToDevice() const;

private:
    void Set(int index, std::int32_t value);

    TBComPort* port_ = nullptr;
    std::int32_t values_[5] = {-1, 0, 0, 100, 1000};
};

enum TPortOperationKind : std::uint8_t { pokWrite, pokRead };

// One overlapped transfer: made by NewPortOperation, owned by whoever started
// the transfer, released by FreePortOperation. The OVERLAPPED block and the
// buffer given to the transfer must live until it has been waited for.
struct TPortOperation {
    OVERLAPPED Overlapped{};
    TPortOperationKind Kind = pokWrite;
    std::unique_ptr<char[]> DataCopy;  // private copy of the bytes of a write
    std::uint32_t DataSize = 0;
};

}  // namespace cardpush
