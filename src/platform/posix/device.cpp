#include "platform/posix/device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <system_error>

#include "platform/posix/terminal_node.h"

namespace cardpush::platform::posix {

namespace {

// Win32 numbers that the shared vocabulary has no name for.
constexpr DWORD kErrorTooManyOpenFiles = 4;
constexpr DWORD kSetXoff = 1;
constexpr DWORD kSetXon = 2;
constexpr DWORD kResetDev = 7;
constexpr DWORD kSetBreak = 8;
constexpr DWORD kClrBreak = 9;
constexpr DWORD kControlDisable = 0;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

constexpr std::size_t kMinInputCapacity = 64;
constexpr std::size_t kMaxInputCapacity = std::size_t{1} << 20;

// Windows reports sizeof(DWORD) as the byte count of a completed event wait.
constexpr DWORD kEventWaitBytes = sizeof(DWORD);

}  // namespace

DWORD Win32ErrorFromErrno(int error)
{
    switch (error) {
        case 0:
            return ERROR_SUCCESS;
        case ENOENT:
        case ENXIO:
        case ENODEV:
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return ERROR_FILE_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EBUSY:
        case EWOULDBLOCK:
        case EISDIR:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case EMFILE:
        case ENFILE:
            return kErrorTooManyOpenFiles;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        case EBADF:
            return ERROR_INVALID_HANDLE;
        case ENOTTY:
        case EOPNOTSUPP:
            return ERROR_NOT_SUPPORTED;
        // A terminal answers EIO once it has hung up: the other side of a
        // pseudo-terminal has closed, or an adapter was unplugged.
        case EIO:
        case EPIPE:
            return ERROR_DEVICE_REMOVED;
        default:
            return ERROR_GEN_FAILURE;
    }
}

std::shared_ptr<Device> Device::Open(const std::string& path, DWORD* error)
{
    // The node is looked at before it is opened for use (terminal_node.h):
    // anything but a terminal free for a port search does not exist for the
    // serial component.
    const NodeLook look = LookAtNode(path);
    if (look.error != 0) {
        *error = Win32ErrorFromErrno(look.error);
        return nullptr;
    }
    if (!look.freeTerminal) {
        *error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    const struct stat& looked = look.node;

    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = Win32ErrorFromErrno(errno);
        return nullptr;
    }
    const auto fail = [&](DWORD code) {
        ::close(fd);
        *error = code;
        return std::shared_ptr<Device>();
    };
    // The name may have been pointed elsewhere since the look.
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || opened.st_dev != looked.st_dev ||
        opened.st_ino != looked.st_ino || !::isatty(fd)) {
        return fail(ERROR_FILE_NOT_FOUND);
    }
    // TIOCEXCL refuses later opens, but not to root; the lock refuses every
    // other open of the device, in this process as well.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return fail(errno == EWOULDBLOCK ? ERROR_ACCESS_DENIED : Win32ErrorFromErrno(errno));
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        return fail(Win32ErrorFromErrno(errno));
    }
    SavedLine found{};
    if (const int e = SaveLine(fd, &found); e != 0) {
        ::ioctl(fd, TIOCNXCL);
        return fail(Win32ErrorFromErrno(e));
    }
    // A COM port has no line discipline: bytes pass unchanged from the start.
    if (const int e = MakeRaw(fd); e != 0) {
        ::ioctl(fd, TIOCNXCL);
        return fail(Win32ErrorFromErrno(e));
    }
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        const int e = errno;
        RestoreLine(fd, found);
        ::ioctl(fd, TIOCNXCL);
        return fail(Win32ErrorFromErrno(e));
    }
    std::shared_ptr<Device> device(new Device(fd, wakeFd, found));
    try {
        device->io_ = std::thread(&Device::Run, device.get());
    } catch (const std::system_error&) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;  // the destructor puts the line back and releases it
    }
    return device;
}

Device::Device(int fd, int wakeFd, const SavedLine& found) : fd_(fd), wakeFd_(wakeFd), found_(found)
{
    ProbeLineStatus();
}

Device::~Device()
{
    Close();
}

void Device::Close()
{
    {
        std::lock_guard lock(mutex_);
        if (closing_) {
            return;
        }
        closing_ = true;
        AbortLocked(reads_);
        AbortLocked(writes_);
        if (wait_) {
            FinishLocked(*wait_, ERROR_OPERATION_ABORTED, 0);
            wait_.reset();
        }
    }
    Wake();
    if (io_.joinable()) {
        io_.join();
    }
    std::lock_guard lock(mutex_);
    // Put back at once: the port's output has been purged or abandoned, and
    // a close must not wait on a line that flow control holds. A terminal
    // that has hung up refuses, and has no settings left to keep.
    RestoreLine(fd_, found_);
    // The exclusive flag belongs to the terminal, not to this descriptor: it
    // would outlive us while another process (a simulator) holds the
    // terminal open, and shut out the next non-root open.
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);  // releases the lock too
    fd_ = -1;
    ::close(wakeFd_);
}

void Device::Wake()
{
    const std::uint64_t one = 1;
    // Fails only when the counter is already huge, and then a wake-up is due
    // anyway.
    [[maybe_unused]] const auto n = ::write(wakeFd_, &one, sizeof one);
}

void Device::Run()
{
    std::unique_lock lock(mutex_);
    while (!closing_) {
        const auto now = Clock::now();
        ServeLocked(now);
        pollfd fds[2] = {};
        fds[0].fd = wakeFd_;
        fds[0].events = POLLIN;
        // A hung-up terminal reports POLLHUP for ever; it is left out.
        fds[1].fd = hungUp_ ? -1 : fd_;
        fds[1].events = static_cast<short>((input_.size() < inputCapacity_ ? POLLIN : 0) |
                                           (writes_.empty() ? 0 : POLLOUT));
        const int timeout = PollTimeoutLocked(now);
        lock.unlock();
        const int ready = ::poll(fds, 2, timeout);
        if (ready > 0 && (fds[0].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const auto n = ::read(wakeFd_, &count, sizeof count);
        }
        lock.lock();
        if (ready > 0 && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 && !closing_) {
            DrainInputLocked();
            HangUpLocked();
        }
    }
}

DWORD Device::BeginLocked(Operation& op, OVERLAPPED* overlapped)
{
    op.overlapped = overlapped;
    if (overlapped->hEvent != nullptr) {
        op.event = HandleTable::Instance().FindAs<Event>(overlapped->hEvent);
        if (!op.event) {
            return ERROR_INVALID_HANDLE;
        }
        op.event->Reset();
    }
    overlapped->Internal = ERROR_IO_PENDING;
    overlapped->InternalHigh = 0;
    return ERROR_SUCCESS;
}

// A failure at the start, as Windows reports it: the event is not set.
DWORD Device::RefuseLocked(Operation& op, DWORD error)
{
    op.overlapped->Internal = error;
    op.overlapped->InternalHigh = 0;
    return error;
}

void Device::FinishLocked(Operation& op, DWORD error, DWORD count)
{
    op.overlapped->Internal = error;
    op.overlapped->InternalHigh = count;
    if (op.event) {
        op.event->Set();
    }
    completed_.notify_all();
}

DWORD Device::Setup(DWORD inQueue, DWORD /*outQueue: writes go straight to the kernel*/)
{
    std::lock_guard lock(mutex_);
    if (closing_) {
        return ERROR_INVALID_HANDLE;
    }
    // The sizes are advice to the driver on Windows too; an absurd one is
    // bounded rather than refused.
    if (inQueue != 0) {
        inputCapacity_ = std::clamp<std::size_t>(inQueue, kMinInputCapacity, kMaxInputCapacity);
        Wake();
    }
    return ERROR_SUCCESS;
}

DWORD Device::SetState(const DCB& dcb)
{
    std::lock_guard lock(mutex_);
    if (closing_) {
        return ERROR_INVALID_HANDLE;
    }
    if (const int e = ApplyDcb(fd_, dcb); e != 0) {
        return Win32ErrorFromErrno(e);
    }
    baud_ = dcb.BaudRate;
    if (hasModemLines_) {
        // As on Windows, a disabled DTR or RTS control lowers the line and
        // any other mode raises it.
        int dtr = TIOCM_DTR;
        int rts = TIOCM_RTS;
        ::ioctl(fd_, dcb.fDtrControl == kControlDisable ? TIOCMBIC : TIOCMBIS, &dtr);
        ::ioctl(fd_, dcb.fRtsControl == kControlDisable ? TIOCMBIC : TIOCMBIS, &rts);
    }
    return ERROR_SUCCESS;
}

DWORD Device::SetTimeouts(const COMMTIMEOUTS& timeouts)
{
    std::lock_guard lock(mutex_);
    if (closing_) {
        return ERROR_INVALID_HANDLE;
    }
    if (!TimeoutsAccepted(timeouts)) {
        return ERROR_INVALID_PARAMETER;
    }
    timeouts_ = timeouts;  // applies to transfers started from now on
    return ERROR_SUCCESS;
}

DWORD Device::SetMask(DWORD mask)
{
    std::lock_guard lock(mutex_);
    if (closing_) {
        return ERROR_INVALID_HANDLE;
    }
    mask_ = mask;
    history_ = 0;
    // Windows ends a pending wait with an empty mask whenever the mask is set.
    if (wait_) {
        *wait_->mask = 0;
        FinishLocked(*wait_, ERROR_SUCCESS, kEventWaitBytes);
        wait_.reset();
    }
    Wake();
    return ERROR_SUCCESS;
}

DWORD Device::StartRead(void* buffer, DWORD count, OVERLAPPED* overlapped, DWORD* done)
{
    std::lock_guard lock(mutex_);
    if (closing_) {
        return ERROR_INVALID_HANDLE;
    }
    if (overlapped == nullptr || (buffer == nullptr && count != 0)) {
        return ERROR_INVALID_PARAMETER;  // the device is always open for overlapped I/O
    }
    Transfer read;
    if (const DWORD e = BeginLocked(read, overlapped); e != ERROR_SUCCESS) {
        return e;
    }
    read.data = static_cast<unsigned char*>(buffer);
    read.count = count;
    read.limits = ReadLimits(timeouts_, count);
    const bool wasFull = input_.size() >= inputCapacity_;
    reads_.push_back(std::move(read));
    ServeLocked(Clock::now());
    if (overlapped->Internal != ERROR_IO_PENDING) {
        if (wasFull) {
            Wake();  // room again: the I/O thread resumes taking input
        }
        if (done != nullptr) {
            *done = static_cast<DWORD>(overlapped->InternalHigh);
        }
        return static_cast<DWORD>(overlapped->Internal);
    }
    Wake();
    if (done != nullptr) {
        *done = 0;
    }
    return ERROR_IO_PENDING;
}

DWORD Device::StartWrite(const void* buffer, DWORD count, OVERLAPPED* overlapped, DWORD* done)
{
    std::lock_guard lock(mutex_);
    if (closing_) {
        return ERROR_INVALID_HANDLE;
    }
    if (overlapped == nullptr || (buffer == nullptr && count != 0)) {
        return ERROR_INVALID_PARAMETER;
    }
    Transfer write;
    if (const DWORD e = BeginLocked(write, overlapped); e != ERROR_SUCCESS) {
        return e;
    }
    if (hungUp_) {
        return RefuseLocked(write, ERROR_DEVICE_REMOVED);
    }
    // The bytes are only read; Transfer serves reads and writes alike.
    write.data = static_cast<unsigned char*>(const_cast<void*>(buffer));
    write.count = count;
    write.limits = WriteLimits(timeouts_, count);
    writes_.push_back(std::move(write));
    ServeLocked(Clock::now());
    // Pending, or done with the transmitter still to be watched until empty.
    Wake();
    if (overlapped->Internal != ERROR_IO_PENDING) {
        if (done != nullptr) {
            *done = static_cast<DWORD>(overlapped->InternalHigh);
        }
        return static_cast<DWORD>(overlapped->Internal);
    }
    if (done != nullptr) {
        *done = 0;
    }
    return ERROR_IO_PENDING;
}

DWORD Device::StartWaitEvent(DWORD* mask, OVERLAPPED* overlapped)
{
    std::lock_guard lock(mutex_);
    if (closing_) {
        return ERROR_INVALID_HANDLE;
    }
    // Windows refuses a second wait, and a wait for nothing.
    if (mask == nullptr || overlapped == nullptr || mask_ == 0 || wait_) {
        return ERROR_INVALID_PARAMETER;
    }
    ServeLocked(Clock::now());
    auto wait = std::make_unique<EventWait>();
    if (const DWORD e = BeginLocked(*wait, overlapped); e != ERROR_SUCCESS) {
        return e;
    }
    // The event stays reset, so that a caller that waits on it and starts
    // again blocks instead of spinning on a device that has gone.
    if (history_ == 0 && hungUp_) {
        return RefuseLocked(*wait, ERROR_DEVICE_REMOVED);
    }
    wait->mask = mask;
    if (history_ != 0) {
        *mask = history_;
        history_ = 0;
        FinishLocked(*wait, ERROR_SUCCESS, kEventWaitBytes);
        return ERROR_SUCCESS;
    }
    wait_ = std::move(wait);
    Wake();
    return ERROR_IO_PENDING;
}

DWORD Device::Result(OVERLAPPED* overlapped, DWORD* transferred, bool wait)
{
    std::unique_lock lock(mutex_);
    if (overlapped == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (wait) {
        completed_.wait(lock, [&] { return overlapped->Internal != ERROR_IO_PENDING; });
    }
    if (overlapped->Internal == ERROR_IO_PENDING) {
        return ERROR_IO_INCOMPLETE;
    }
    if (transferred != nullptr) {
        *transferred = static_cast<DWORD>(overlapped->InternalHigh);
    }
    return static_cast<DWORD>(overlapped->Internal);
}

DWORD Device::Purge(DWORD flags)
{
    std::lock_guard lock(mutex_);
    if (closing_) {
        return ERROR_INVALID_HANDLE;
    }
    if ((flags & ~kPurgeAll) != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    if ((flags & PURGE_TXABORT) != 0) {
        AbortLocked(writes_);
    }
    if ((flags & PURGE_RXABORT) != 0) {
        AbortLocked(reads_);
    }
    // A terminal that has hung up refuses the flush, and its queues are gone
    // anyway: a failed flush must not make a Close fail.
    if ((flags & PURGE_TXCLEAR) != 0) {
        ::tcflush(fd_, TCOFLUSH);
    }
    if ((flags & PURGE_RXCLEAR) != 0) {
        ::tcflush(fd_, TCIFLUSH);
        input_.clear();
    }
    Wake();
    return ERROR_SUCCESS;
}

DWORD Device::ClearErrors(DWORD* errors, COMSTAT* status)
{
    std::lock_guard lock(mutex_);
    if (closing_) {
        return ERROR_INVALID_HANDLE;
    }
    if (hasCounters_) {
        PollLineStatusLocked(Clock::now());
    }
    if (errors != nullptr) {
        *errors = errors_;
    }
    errors_ = 0;
    if (status != nullptr) {
        *status = COMSTAT{};
        status->cbInQue = InQueueLocked();
        status->cbOutQue = OutQueueLocked();
    }
    return ERROR_SUCCESS;
}

DWORD Device::Escape(DWORD function)
{
    std::lock_guard lock(mutex_);
    if (closing_) {
        return ERROR_INVALID_HANDLE;
    }
    const auto modemLine = [&](int line, bool on) -> DWORD {
        if (!hasModemLines_) {
            return ERROR_SUCCESS;  // nothing to drive on a pseudo-terminal
        }
        return ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &line) == 0 ? ERROR_SUCCESS
                                                                  : Win32ErrorFromErrno(errno);
    };
    const auto result = [](int r) { return r == 0 ? ERROR_SUCCESS : Win32ErrorFromErrno(errno); };
    switch (function) {
        case SETDTR:
            return modemLine(TIOCM_DTR, true);
        case CLRDTR:
            return modemLine(TIOCM_DTR, false);
        case SETRTS:
            return modemLine(TIOCM_RTS, true);
        case CLRRTS:
            return modemLine(TIOCM_RTS, false);
        case kSetBreak:
            return result(::ioctl(fd_, TIOCSBRK));
        case kClrBreak:
            return result(::ioctl(fd_, TIOCCBRK));
        case kSetXoff:
            return result(::tcflow(fd_, TCOOFF));
        case kSetXon:
            return result(::tcflow(fd_, TCOON));
        case kResetDev:
            return ERROR_SUCCESS;
        default:
            return ERROR_INVALID_PARAMETER;
    }
}

void Device::ServeLocked(Clock::time_point now)
{
    if (closing_) {
        return;
    }
    DrainInputLocked();
    ServeReadsLocked(now);
    ServeWritesLocked(now);
    ServeDrainLocked(now);
    if (LineStatusWantedLocked() && now >= nextStatusPoll_) {
        PollLineStatusLocked(now);
    }
}

void Device::DrainInputLocked()
{
    if (hungUp_) {
        return;
    }
    const std::size_t before = input_.size();
    bool gone = false;
    unsigned char chunk[4096];
    while (input_.size() < inputCapacity_) {
        const std::size_t room = std::min(sizeof chunk, inputCapacity_ - input_.size());
        const ssize_t n = ::read(fd_, chunk, room);
        if (n > 0) {
            input_.insert(input_.end(), chunk, chunk + n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EWOULDBLOCK) {
            break;
        } else {
            gone = true;  // end of file or EIO: the terminal has hung up
            break;
        }
    }
    if (input_.size() > before) {
        DWORD events = EV_RXCHAR;
        const std::size_t nearlyFull = inputCapacity_ * 8 / 10;
        if (before < nearlyFull && input_.size() >= nearlyFull) {
            events |= EV_RX80FULL;
        }
        RaiseLocked(events);
    }
    if (gone) {
        HangUpLocked();
    }
}

void Device::ServeReadsLocked(Clock::time_point now)
{
    while (!reads_.empty()) {
        Transfer& read = reads_.front();
        if (!read.started) {
            read.started = true;
            read.deadline = read.limits.total ? now + *read.limits.total : Clock::time_point::max();
        }
        while (read.done < read.count) {
            if (input_.empty()) {
                DrainInputLocked();
                if (input_.empty()) {
                    break;
                }
            }
            const std::size_t take = std::min<std::size_t>(input_.size(), read.count - read.done);
            std::copy_n(input_.begin(), take, read.data + read.done);
            input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(take));
            read.done += static_cast<DWORD>(take);
            read.lastByte = now;
        }
        const bool filled =
            read.done == read.count || (read.limits.returnOnFirstByte && read.done > 0);
        const bool timedOut =
            now >= read.deadline || (read.limits.interval.count() > 0 && read.done > 0 &&
                                     now - read.lastByte >= read.limits.interval);
        // Nothing more can come from a hung-up device: a read ends at once,
        // with the bytes that were left, or failing when there were none.
        if (filled || (hungUp_ && read.done > 0)) {
            FinishLocked(read, ERROR_SUCCESS, read.done);
        } else if (hungUp_) {
            FinishLocked(read, ERROR_DEVICE_REMOVED, 0);
        } else if (timedOut) {
            FinishLocked(read, ERROR_SUCCESS, read.done);
        } else {
            return;
        }
        reads_.pop_front();
    }
}

void Device::ServeWritesLocked(Clock::time_point now)
{
    while (!writes_.empty()) {
        Transfer& write = writes_.front();
        if (!write.started) {
            write.started = true;
            write.deadline =
                write.limits.total ? now + *write.limits.total : Clock::time_point::max();
        }
        DWORD error = hungUp_ ? ERROR_DEVICE_REMOVED : ERROR_SUCCESS;
        while (error == ERROR_SUCCESS && write.done < write.count) {
            const ssize_t n = ::write(fd_, write.data + write.done, write.count - write.done);
            if (n > 0) {
                write.done += static_cast<DWORD>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && errno == EWOULDBLOCK) {
                break;
            } else {
                error = n < 0 ? Win32ErrorFromErrno(errno) : ERROR_GEN_FAILURE;
            }
        }
        if (error != ERROR_SUCCESS) {
            FinishLocked(write, error, write.done);
            writes_.pop_front();
            if (error == ERROR_DEVICE_REMOVED) {
                HangUpLocked();
            }
            continue;
        }
        // Complete, or out of time: a time-out completes with the count so far.
        if (write.done < write.count && now < write.deadline) {
            return;
        }
        FinishLocked(write, ERROR_SUCCESS, write.done);
        writes_.pop_front();
        drainPending_ = true;
        drainCheckAt_ = now;
    }
}

// EV_TXEMPTY: the last write has completed and the kernel's output queue,
// including the UART's, has run empty.
void Device::ServeDrainLocked(Clock::time_point now)
{
    if (!drainPending_ || !writes_.empty() || now < drainCheckAt_) {
        return;
    }
    if (hungUp_) {
        drainPending_ = false;
        return;
    }
    int queued = 0;
    if (::ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) {
        drainPending_ = false;
        RaiseLocked(EV_TXEMPTY);
        return;
    }
    // Look again about when those characters will have left the wire
    // (start, eight data bits, parity, stop: eleven bits at most).
    const auto ms = std::max<std::int64_t>(1, std::int64_t{queued} * 11 * 1000 / baud_);
    drainCheckAt_ = now + std::chrono::milliseconds(ms);
}

void Device::RaiseLocked(DWORD events)
{
    history_ |= events & mask_;
    if (wait_ && history_ != 0) {
        *wait_->mask = history_;
        history_ = 0;
        FinishLocked(*wait_, ERROR_SUCCESS, kEventWaitBytes);
        wait_.reset();
    }
}

void Device::HangUpLocked()
{
    if (hungUp_) {
        return;
    }
    hungUp_ = true;
    // Pending transfers fail at their next service; a wait has nothing left
    // to wait for.
    if (wait_) {
        FinishLocked(*wait_, ERROR_DEVICE_REMOVED, 0);
        wait_.reset();
    }
}

void Device::AbortLocked(std::deque<Transfer>& queue)
{
    for (Transfer& transfer : queue) {
        FinishLocked(transfer, ERROR_OPERATION_ABORTED, transfer.done);
    }
    queue.clear();
}

int Device::PollTimeoutLocked(Clock::time_point now) const
{
    auto earliest = Clock::time_point::max();
    if (!reads_.empty()) {
        const Transfer& read = reads_.front();
        earliest = std::min(earliest, read.deadline);
        if (read.limits.interval.count() > 0 && read.done > 0) {
            earliest = std::min(earliest, read.lastByte + read.limits.interval);
        }
    }
    if (!writes_.empty()) {
        earliest = std::min(earliest, writes_.front().deadline);
    } else if (drainPending_) {
        earliest = std::min(earliest, drainCheckAt_);
    }
    if (LineStatusWantedLocked()) {
        earliest = std::min(earliest, nextStatusPoll_);
    }
    if (earliest == Clock::time_point::max()) {
        return -1;
    }
    if (earliest <= now) {
        return 0;
    }
    // Rounded up, so that the loop never wakes just before a deadline and
    // polls again with a zero time-out.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(earliest - now).count();
    return static_cast<int>(std::min<std::int64_t>(ms, INT_MAX));
}

DWORD Device::InQueueLocked() const
{
    int pending = 0;
    if (hungUp_ || ::ioctl(fd_, FIONREAD, &pending) != 0 || pending < 0) {
        pending = 0;
    }
    return static_cast<DWORD>(input_.size()) + static_cast<DWORD>(pending);
}

DWORD Device::OutQueueLocked() const
{
    std::uint64_t queued = 0;
    for (const Transfer& write : writes_) {
        queued += write.count - write.done;
    }
    int kernel = 0;
    if (!hungUp_ && ::ioctl(fd_, TIOCOUTQ, &kernel) == 0 && kernel > 0) {
        queued += static_cast<std::uint64_t>(kernel);
    }
    return static_cast<DWORD>(std::min<std::uint64_t>(queued, MAXDWORD));
}

}  // namespace cardpush::platform::posix
