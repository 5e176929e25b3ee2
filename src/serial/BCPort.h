// The tool's serial port: TBComPort, one object per serial device.
//
// It keeps the line settings as properties, opens the device exclusively for
// overlapped transfers, pushes buffer sizes, line settings and time-outs to
// the driver, and runs an event thread while it is open that reports device
// events through the On... callbacks. Every failure throws EComPort with one
// fixed message (serial/ComErrors.h). Its settings, events and transfer
// records are the types of serial/ComTypes.h.
//
// Threads:
//   - Open, Close and the property setters are called from one thread at a
//     time (the tool's link thread).
//   - Transfers (WriteText, ReadText and the async forms) may run on several
//     threads at once: each has its own operation record and event.
//   - Events are delivered on the thread that SyncMethod selects:
//       smThreadSync  the GUI thread (platform::MainThread), while the event
//                     thread waits for the handler; the default;
//       smWindowSync  the GUI thread, with the event thread already released;
//       smNone        the event thread itself.
//   - Close waits for the event thread to end. On the GUI thread it keeps
//     running pending dispatches meanwhile; on another thread it returns only
//     after the GUI thread has run a dispatch that is waiting for it.
//   - Close must not be called from one of the port's own event handlers
//     while SyncMethod is smThreadSync or smNone: the event thread waits for
//     that very handler.
//
// Transfers, queries, DTR/RTS and AbortTransfers on a port that is not open
// throw EComPort ("Порт не открыт") without touching the device.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/comm_api.h"
#include "serial/ComErrors.h"
#include "serial/ComTypes.h"

namespace cardpush {

using TNotifyEvent = std::function<void(TBComPort* Sender)>;
using TRxCharEvent = std::function<void(TBComPort* Sender, std::int32_t Count)>;
using TComSignalEvent = std::function<void(TBComPort* Sender, bool State)>;
using TComErrorEvent = std::function<void(TBComPort* Sender, TComErrors Errors)>;
using TComThreadErrorEvent = std::function<void(TBComPort* Sender, const std::string& Message)>;

class TComThread;

class TBComPort {
public:
    // Owner is kept for whoever made the port and is not used otherwise. The
    // device layer must outlive the port.
    explicit TBComPort(void* Owner = nullptr, platform::CommApi& api = platform::SystemCommApi());
    // Closes the port when open. Should Close fail, the event thread is still
    // stopped and the device released.
    ~TBComPort();
    TBComPort(const TBComPort&) = delete;
    TBComPort& operator=(const TBComPort&) = delete;

    void* Owner() const { return owner_; }

    // Opens "\\.\" + Port (up to its first NUL) exclusively, configures it
    // and starts the event thread. Does nothing when open. Returns true, or
    // throws with the port closed and every property kept.
    bool Open();
    // Lowers DTR and RTS, aborts transfers, stops the event thread and
    // releases the device. Does nothing when closed. Returns true. If one of
    // the first three steps throws, the port stays open and a later Close
    // starts again.
    bool Close();
    bool Connected() const { return open_.load(); }

    void SetDTRLine(bool State);
    void SetRTSLine(bool State);
    // Cancels the device's outstanding transfers; their waiters throw the
    // message of their kind.
    void AbortTransfers();

    // --- properties ---
    // BaudRate, ByteSize, Parity, StopBits, InBufSize, OutBufSize and Timeouts
    // take effect on an open device at once; if sending fails the new value
    // stays stored and goes out with the next successful send of its kind.
    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate value);
    TByteSize ByteSize() const { return byteSize_; }
    void SetByteSize(TByteSize value);
    // A positive odd size is stored one lower (the driver takes even sizes).
    std::int32_t InBufSize() const { return inBufSize_; }
    void SetInBufSize(std::int32_t value);
    std::int32_t OutBufSize() const { return outBufSize_; }
    void SetOutBufSize(std::int32_t value);
    TParity Parity() const { return parity_; }
    void SetParity(TParity value);
    // Frozen while open: setting it then throws, even to the same value.
    const std::string& Port() const { return port_; }
    void SetPort(const std::string& value);
    // Frozen while open: changing it then throws.
    TSyncMethod SyncMethod() const { return syncMethod_; }
    void SetSyncMethod(TSyncMethod value);
    TStopBits StopBits() const { return stopBits_; }
    void SetStopBits(TStopBits value);
    // The port's own time-outs; SetTimeouts copies the five values into it.
    TComTimeouts& Timeouts() { return timeouts_; }
    const TComTimeouts& Timeouts() const { return timeouts_; }
    void SetTimeouts(const TComTimeouts& value);

    // --- events: assign before Open; called as SyncMethod says ---
    TComSignalEvent OnCTSChange;
    TComSignalEvent OnDSRChange;
    TComErrorEvent OnError;  // Errors never empty
    TNotifyEvent OnRing;
    TComSignalEvent OnRLSDChange;
    TNotifyEvent OnRx80Full;
    TRxCharEvent OnRxChar;  // Count: bytes waiting, at least 1
    TNotifyEvent OnTxEmpty;
    // The event thread has ended through an error (a dispatch or one of the
    // handlers above threw), or the device has stopped reporting events (an
    // adapter pulled out, a hang-up; Message is then the read error's): no
    // further events come until the port is closed and opened again.
    // Message is the error's text. Called on the event thread, whatever
    // SyncMethod says.
    TComThreadErrorEvent OnThreadError;

    // --- transfers: the bytes go as they are, NUL included ---
    // Write Text and wait for it; returns the bytes written, always all of
    // them: a write that the write time-outs end early throws the write
    // error, as does a Text longer than a count can carry. An empty Text
    // starts nothing and returns 0.
    std::int32_t WriteText(const std::string& Text);
    // Read at most Count bytes into Text and wait; Text's length becomes the
    // count read, which is returned. With the default time-outs the read
    // returns at once with what has arrived, possibly nothing.
    std::int32_t ReadText(std::string& Text, std::int32_t Count);
    // Start a transfer on Op; WaitForOperation gives its result, which for
    // a write may be short of the count asked. Text (or Buffer) must stay
    // untouched until then.
    std::int32_t WriteTextAsync(const std::string& Text, TPortOperation* Op);
    std::int32_t ReadTextAsync(std::string& Text, std::int32_t Count, TPortOperation* Op);
    std::int32_t WriteBufferAsync(const void* Buffer, std::int32_t Count, TPortOperation* Op);
    std::int32_t ReadBufferAsync(void* Buffer, std::int32_t Count, TPortOperation* Op);
    // Waits for the transfer started on Op (at once, with 0, if none was).
    std::int32_t WaitForOperation(TPortOperation* Op);
    void NewPortOperation(TPortOperation*& Op);
    void FreePortOperation(TPortOperation*& Op);

    // --- queries ---
    std::int32_t PendingInput();
    // The bytes written that the driver has not yet put on the line.
    std::int32_t PendingOutput();
    TLineSignals LineSignals();

private:
    friend class TComTimeouts;
    friend class TComThread;
    struct NotifyWindow;

    // Dispatch: called by the event thread, or on the GUI thread for it.
    void DispatchEvents(TPortEvents events);
    void FireRxChar();
    void FireTxEmpty();
    void FireRing();
    void FireCTSChange();
    void FireDSRChange();
    void FireRLSDChange();
    void FireError();
    void FireRx80Full();
    // The notification object's handler for one event (an EV_* flag); runs
    // on the GUI thread with smWindowSync.
    void NotifyWindowProc(DWORD event);

    template <class T>
    void ChangeLineSetting(T& field, T value);
    void ChangeBufferSize(std::int32_t& field, std::int32_t value);
    void ApplyAllSettings();
    void ApplyBufferSizes();
    void ApplyLineSettings();
    void ApplyTimeouts();
    void ReleaseDevice();
    // Steps of Close from stopping the event thread on; cannot fail.
    void Shutdown();
    void RequireOpen() const;
    // The driver's queue sizes (ClearCommError); throws its message.
    COMSTAT QueueStatus();
    HANDLE Handle() const { return handle_.load(); }

    platform::CommApi& api_;
    void* owner_;

    TBaudRate baudRate_ = br9600;
    TByteSize byteSize_ = bs8;
    std::int32_t inBufSize_ = 2048;
    std::int32_t outBufSize_ = 2048;
    TParity parity_ = paNone;
    std::string port_ = "COM2";
    TSyncMethod syncMethod_ = smThreadSync;
    TStopBits stopBits_ = sb1;
    TComTimeouts timeouts_{this};

    // Read by transfers and dispatches on other threads.
    std::atomic<bool> open_{false};
    std::atomic<HANDLE> handle_{INVALID_HANDLE_VALUE};
    std::unique_ptr<TComThread> thread_;
    std::shared_ptr<NotifyWindow> notifyWindow_;
};

// A port name as the port list gives it, up to its NUL: where the device's
// path ends, so that the saved port and the list's entry for it are one.
inline std::string PortName(std::string_view listed)
{
    return std::string(listed.substr(0, listed.find('\0')));
}

// Fills List with the names of the installed serial ports, sorted without
// regard to letter case (COM1, COM10, COM3). An entry is the registry value's
// data as stored, so it may end with a NUL. On failure throws "Ошибка
// обращения к системному реестру" and leaves List as it was.
void ListSerialPorts(std::vector<std::string>& List,
                     platform::CommApi& api = platform::SystemCommApi());

}  // namespace cardpush
