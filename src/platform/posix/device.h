// One open serial device of the POSIX layer: a terminal (a serial port or a
// pseudo-terminal) driven as Windows drives a COM port.
//
// The device keeps its own input queue, as the Windows driver does: an I/O
// thread (one per device, poll() on the descriptor and an eventfd) moves
// arriving bytes into it, up to the size given by Setup, and leaves the rest
// in the kernel until there is room. Reads take from that queue, so received
// characters are noticed (EV_RXCHAR) whether or not a read is pending, and
// nothing is lost when nobody reads.
//
// Overlapped operations: Start* returns ERROR_SUCCESS when the operation
// completed at once, ERROR_IO_PENDING when it goes on, or the Win32 code of
// its failure. Starting resets the OVERLAPPED's event. Completion stores the
// operation's Win32 code in OVERLAPPED.Internal (ERROR_IO_PENDING while it
// runs) and its byte count in InternalHigh, then sets the event; a failure
// when starting stores its code but leaves the event reset. The OVERLAPPED, the buffer and the
// event mask must stay valid until the operation has completed.
//
// Time-outs follow COMMTIMEOUTS as Windows reads them (timeouts.h). A write
// that runs out of time completes successfully with the count written so
// far, as on Windows: the caller compares the count.
//
// Every member returns ERROR_SUCCESS or a Win32 error code. Thread-safe; all
// state is guarded by one mutex, which is never held while blocking in the
// kernel.
//
// Files: device.cpp (opening, transfers, events), line_status.cpp (error
// counters and modem lines), line_settings.cpp (termios).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/posix/kernel_objects.h"
#include "platform/posix/timeouts.h"

namespace cardpush::platform::posix {

// The one place where errno values become Win32 error codes.
DWORD Win32ErrorFromErrno(int error);

// Terminal settings (line_settings.cpp). Each returns 0 or an errno.
// MakeRaw passes bytes through unchanged and ignores modem lines while
// keeping the line speed and frame; ApplyDcb sets the whole line from a DCB.
// SaveLine reads a terminal's whole settings, any line speed included, and
// RestoreLine puts them back at once, without waiting for output to drain.
struct SavedLine {
    alignas(8) unsigned char bytes[64];
};
int MakeRaw(int fd);
int ApplyDcb(int fd, const DCB& dcb);
int SaveLine(int fd, SavedLine* line);
int RestoreLine(int fd, const SavedLine& line);

class Device final : public KernelObject {
public:
    // Opens path for exclusive use; on failure returns null and sets *error.
    static std::shared_ptr<Device> Open(const std::string& path, DWORD* error);
    ~Device() override;

    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // Aborts every pending operation (ERROR_OPERATION_ABORTED), ends the I/O
    // thread, puts back the terminal settings found at open and releases the
    // device. Must not be called by that thread.
    void Close();

    DWORD Setup(DWORD inQueue, DWORD outQueue);
    DWORD SetState(const DCB& dcb);
    DWORD SetTimeouts(const COMMTIMEOUTS& timeouts);
    DWORD SetMask(DWORD mask);
    DWORD StartRead(void* buffer, DWORD count, OVERLAPPED* overlapped, DWORD* done);
    DWORD StartWrite(const void* buffer, DWORD count, OVERLAPPED* overlapped, DWORD* done);
    DWORD StartWaitEvent(DWORD* mask, OVERLAPPED* overlapped);
    DWORD Result(OVERLAPPED* overlapped, DWORD* transferred, bool wait);
    DWORD Purge(DWORD flags);
    DWORD ClearErrors(DWORD* errors, COMSTAT* status);
    DWORD ModemStatus(DWORD* status);
    DWORD Escape(DWORD function);

private:
    using Clock = std::chrono::steady_clock;

    struct Operation {
        OVERLAPPED* overlapped = nullptr;
        std::shared_ptr<Event> event;
    };
    struct Transfer : Operation {
        unsigned char* data = nullptr;
        DWORD count = 0;
        DWORD done = 0;
        bool started = false;
        TransferLimits limits;
        Clock::time_point lastByte;
        Clock::time_point deadline = Clock::time_point::max();
    };
    struct EventWait : Operation {
        DWORD* mask = nullptr;
    };

    Device(int fd, int wakeFd, const SavedLine& found);

    void Run();
    void Wake();
    DWORD BeginLocked(Operation& op, OVERLAPPED* overlapped);
    DWORD RefuseLocked(Operation& op, DWORD error);
    void FinishLocked(Operation& op, DWORD error, DWORD count);
    void ServeLocked(Clock::time_point now);
    void DrainInputLocked();
    void ServeReadsLocked(Clock::time_point now);
    void ServeWritesLocked(Clock::time_point now);
    void ServeDrainLocked(Clock::time_point now);
    // Line status (line_status.cpp).
    void ProbeLineStatus();
    void PollLineStatusLocked(Clock::time_point now);
    bool LineStatusWantedLocked() const;
    void RaiseLocked(DWORD events);
    void HangUpLocked();
    void AbortLocked(std::deque<Transfer>& queue);
    int PollTimeoutLocked(Clock::time_point now) const;
    DWORD InQueueLocked() const;
    DWORD OutQueueLocked() const;

    mutable std::mutex mutex_;
    std::condition_variable completed_;
    int fd_;
    const int wakeFd_;
    // The terminal's settings before the open: another program's, or the
    // system's, which a port search must leave as it found them.
    const SavedLine found_;
    std::thread io_;

    // Guarded by mutex_.
    bool closing_ = false;
    bool hungUp_ = false;
    COMMTIMEOUTS timeouts_{};
    DWORD baud_ = 9600;
    std::deque<unsigned char> input_;
    std::size_t inputCapacity_ = 4096;
    std::deque<Transfer> reads_;
    std::deque<Transfer> writes_;
    std::unique_ptr<EventWait> wait_;
    DWORD mask_ = 0;
    DWORD history_ = 0;  // events seen since the last wait took them
    DWORD errors_ = 0;   // CE_* flags since the last ClearErrors
    bool drainPending_ = false;
    Clock::time_point drainCheckAt_;

    // Line status of real serial ports; a pseudo-terminal has neither.
    bool hasCounters_ = false;
    bool hasModemLines_ = false;
    struct Counters {
        int cts = 0, dsr = 0, rng = 0, dcd = 0;
        int frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
    } counters_;
    int modemBits_ = 0;
    Clock::time_point nextStatusPoll_;
};

}  // namespace cardpush::platform::posix
