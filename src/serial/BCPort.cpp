#include "serial/BCPort.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "serial/ComThread.h"

namespace cardpush {
namespace {

// Releases an operation record on every path out of a blocking transfer.
class OperationScope {
public:
    OperationScope(TBComPort& port, TPortOperation*& op) : port_(port), op_(op)
    {
        port_.NewPortOperation(op_);
    }
    ~OperationScope() { port_.FreePortOperation(op_); }
    OperationScope(const OperationScope&) = delete;
    OperationScope& operator=(const OperationScope&) = delete;

private:
    TBComPort& port_;
    TPortOperation*& op_;
};

constexpr std::size_t kLargestCount = std::numeric_limits<std::int32_t>::max();

// Counts cross between the driver's 32-bit unsigned numbers, string sizes
// and the component's 32-bit signed ones. One that does not fit is a failure
// of the transfer: a wrapped count would send or report the wrong number of
// bytes.
std::int32_t CheckedCount(std::size_t count, ComFault fault)
{
    if (count > kLargestCount) {
        RaiseComFault(fault);
    }
    return static_cast<std::int32_t>(count);
}

}  // namespace

// --- the port ---

TBComPort::TBComPort(void* Owner, platform::CommApi& api) : api_(api), owner_(Owner) {}

TBComPort::~TBComPort()
{
    if (!open_.load()) {
        return;
    }
    try {
        Close();
    } catch (...) {
        // A destructor cannot report; but the event thread must not outlive
        // the object it dispatches for, nor the device stay held.
        Shutdown();
    }
}

bool TBComPort::Open()
{
    if (open_.load()) {
        return true;
    }
    // The "\\.\" prefix reaches every port, COM10 and above included; as a C
    // string the path ends at the name's first NUL, which the registry's port
    // names may carry.
    const std::string path = "\\\\.\\" + port_;
    const HANDLE device = api_.CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    handle_.store(device);
    if (device == INVALID_HANDLE_VALUE) {
        switch (api_.GetLastError()) {
            case ERROR_FILE_NOT_FOUND:
                RaiseComFault(ComFault::PortMissing);
            case ERROR_ACCESS_DENIED:
                RaiseComFault(ComFault::PortBusy);
            default:
                // Other causes surface as the first configuration step's
                // failure on the invalid handle.
                break;
        }
    }
    // The apply steps act only on an open port, so the flag comes first.
    open_.store(true);
    try {
        ApplyAllSettings();
        if (syncMethod_ == smWindowSync) {
            notifyWindow_ = std::make_shared<NotifyWindow>();
            notifyWindow_->port = this;
        }
        thread_ = std::make_unique<TComThread>(*this);
    } catch (...) {
        notifyWindow_.reset();
        ReleaseDevice();
        open_.store(false);
        throw;
    }
    return open_.load();
}

bool TBComPort::Close()
{
    if (!open_.load()) {
        return true;
    }
    SetDTRLine(false);
    SetRTSLine(false);
    AbortTransfers();
    Shutdown();
    return true;
}

void TBComPort::Shutdown()
{
    // The thread clears the event mask and both driver buffers as it ends.
    thread_.reset();
    if (notifyWindow_) {
        std::lock_guard lock(notifyWindow_->mutex);
        notifyWindow_->port = nullptr;
    }
    notifyWindow_.reset();
    ReleaseDevice();
    open_.store(false);
}

void TBComPort::ReleaseDevice()
{
    const HANDLE device = handle_.exchange(INVALID_HANDLE_VALUE);
    if (device != INVALID_HANDLE_VALUE) {
        api_.CloseHandle(device);
    }
}

void TBComPort::RequireOpen() const
{
    if (!open_.load()) {
        RaiseComFault(ComFault::PortClosed);
    }
}

void TBComPort::ApplyAllSettings()
{
    ApplyBufferSizes();
    ApplyLineSettings();
    ApplyTimeouts();
}

void TBComPort::ApplyBufferSizes()
{
    if (!api_.SetupComm(Handle(), static_cast<DWORD>(inBufSize_),
                        static_cast<DWORD>(outBufSize_))) {
        RaiseComFault(ComFault::SetupComm);
    }
}

void TBComPort::ApplyLineSettings()
{
    // A fresh block every time: the device's current settings are not read,
    // so every flag (parity checking, flow control, DTR/RTS control) is off.
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = BaudRateBits(baudRate_);
    dcb.ByteSize = static_cast<BYTE>(byteSize_ + 5);
    dcb.Parity = parity_;
    dcb.StopBits = stopBits_;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    if (!api_.SetCommState(Handle(), &dcb)) {
        RaiseComFault(ComFault::SetCommState);
    }
}

void TBComPort::ApplyTimeouts()
{
    COMMTIMEOUTS timeouts = timeouts_.ToDevice();
    if (!api_.SetCommTimeouts(Handle(), &timeouts)) {
        RaiseComFault(ComFault::SetCommTimeouts);
    }
}

// --- properties ---

// The line settings go out as one block: any change sends all of them.
template <class T>
void TBComPort::ChangeLineSetting(T& field, T value)
{
    if (value != field) {
        field = value;
        if (open_.load()) {
            ApplyLineSettings();
        }
    }
}

void TBComPort::SetBaudRate(TBaudRate value)
{
    ChangeLineSetting(baudRate_, value);
}
void TBComPort::SetByteSize(TByteSize value)
{
    ChangeLineSetting(byteSize_, value);
}
void TBComPort::SetParity(TParity value)
{
    ChangeLineSetting(parity_, value);
}
void TBComPort::SetStopBits(TStopBits value)
{
    ChangeLineSetting(stopBits_, value);
}

// The driver takes even buffer sizes, so a positive odd one is stored one
// lower. The caller's value, not the stored one, is what is compared: 2049
// set twice is sent twice.
void TBComPort::ChangeBufferSize(std::int32_t& field, std::int32_t value)
{
    if (value != field) {
        field = value > 0 && value % 2 != 0 ? value - 1 : value;
        if (open_.load()) {
            ApplyBufferSizes();
        }
    }
}

void TBComPort::SetInBufSize(std::int32_t value)
{
    ChangeBufferSize(inBufSize_, value);
}
void TBComPort::SetOutBufSize(std::int32_t value)
{
    ChangeBufferSize(outBufSize_, value);
}

void TBComPort::SetPort(const std::string& value)
{
    if (open_.load()) {
        RaiseComFault(ComFault::PropertyWhileOpen);
    }
    port_ = value;
}

void TBComPort::SetSyncMethod(TSyncMethod value)
{
    if (value == syncMethod_) {
        return;
    }
    if (open_.load()) {
        RaiseComFault(ComFault::PropertyWhileOpen);
    }
    syncMethod_ = value;
}

void TBComPort::SetTimeouts(const TComTimeouts& value)
{
    timeouts_.Assign(value);
    if (open_.load()) {
        ApplyTimeouts();
    }
}

// --- DTR, RTS, abort ---

void TBComPort::SetDTRLine(bool State)
{
    RequireOpen();
    if (!api_.EscapeCommFunction(Handle(), State ? SETDTR : CLRDTR)) {
        RaiseComFault(ComFault::EscapeCommFunction);
    }
}

void TBComPort::SetRTSLine(bool State)
{
    RequireOpen();
    if (!api_.EscapeCommFunction(Handle(), State ? SETRTS : CLRRTS)) {
        RaiseComFault(ComFault::EscapeCommFunction);
    }
}

void TBComPort::AbortTransfers()
{
    RequireOpen();
    if (!api_.PurgeComm(Handle(), PURGE_TXABORT | PURGE_RXABORT)) {
        RaiseComFault(ComFault::PurgeComm);
    }
}

// --- transfers ---

void TBComPort::NewPortOperation(TPortOperation*& Op)
{
    Op = new TPortOperation;
    // Signalled from the start, so that waiting on a record on which nothing
    // was started completes at once with 0 bytes.
    Op->Overlapped.hEvent = api_.CreateEventA(nullptr, TRUE, TRUE, nullptr);
}

void TBComPort::FreePortOperation(TPortOperation*& Op)
{
    if (Op == nullptr) {
        return;
    }
    api_.CloseHandle(Op->Overlapped.hEvent);
    delete Op;
    Op = nullptr;
}

std::int32_t TBComPort::WriteText(const std::string& Text)
{
    RequireOpen();
    TPortOperation* op = nullptr;
    OperationScope scope(*this, op);
    WriteTextAsync(Text, op);
    // A write that the time-outs ended early completes without an error but
    // with fewer bytes than asked: the line has lost the rest of the text.
    const std::int32_t n = WaitForOperation(op);
    if (static_cast<std::size_t>(n) != Text.size()) {
        RaiseComFault(ComFault::Write);
    }
    return n;
}

std::int32_t TBComPort::ReadText(std::string& Text, std::int32_t Count)
{
    RequireOpen();
    TPortOperation* op = nullptr;
    OperationScope scope(*this, op);
    ReadTextAsync(Text, Count, op);
    // Never longer than what was read into, whatever the driver reports.
    const std::int32_t n = std::min(WaitForOperation(op), std::max<std::int32_t>(Count, 0));
    Text.resize(static_cast<std::size_t>(n));
    return n;
}

std::int32_t TBComPort::WriteTextAsync(const std::string& Text, TPortOperation* Op)
{
    RequireOpen();
    if (Text.empty()) {
        return 0;
    }
    // Refused before anything starts when the count cannot carry the size.
    return WriteBufferAsync(Text.data(), CheckedCount(Text.size(), ComFault::Write), Op);
}

std::int32_t TBComPort::ReadTextAsync(std::string& Text, std::int32_t Count, TPortOperation* Op)
{
    RequireOpen();
    Text.assign(static_cast<std::size_t>(std::max<std::int32_t>(Count, 0)), '\0');
    if (Count <= 0) {
        return 0;
    }
    return ReadBufferAsync(Text.data(), Count, Op);
}

std::int32_t TBComPort::WriteBufferAsync(const void* Buffer, std::int32_t Count, TPortOperation* Op)
{
    if (Op == nullptr) {
        RaiseComFault(ComFault::NoOperation);
    }
    RequireOpen();
    // A negative count would reach the driver as a huge one.
    if (Count < 0) {
        RaiseComFault(ComFault::Write);
    }
    Op->Kind = pokWrite;
    Op->DataCopy = std::make_unique<char[]>(static_cast<std::size_t>(Count));
    if (Count > 0) {
        std::memcpy(Op->DataCopy.get(), Buffer, static_cast<std::size_t>(Count));
    }
    Op->DataSize = static_cast<std::uint32_t>(Count);
    // The driver gets the caller's bytes, not the copy: they must live until
    // the operation has been waited for.
    DWORD written = 0;
    if (!api_.WriteFile(Handle(), Buffer, static_cast<DWORD>(Count), &written, &Op->Overlapped) &&
        api_.GetLastError() != ERROR_IO_PENDING) {
        RaiseComFault(ComFault::Write);
    }
    // While the write is pending this is not its result: WaitForOperation gives that.
    return CheckedCount(written, ComFault::Write);
}

std::int32_t TBComPort::ReadBufferAsync(void* Buffer, std::int32_t Count, TPortOperation* Op)
{
    if (Op == nullptr) {
        RaiseComFault(ComFault::NoOperation);
    }
    RequireOpen();
    if (Count < 0) {
        RaiseComFault(ComFault::Read);
    }
    Op->Kind = pokRead;
    DWORD read = 0;
    if (!api_.ReadFile(Handle(), Buffer, static_cast<DWORD>(Count), &read, &Op->Overlapped) &&
        api_.GetLastError() != ERROR_IO_PENDING) {
        RaiseComFault(ComFault::Read);
    }
    return CheckedCount(read, ComFault::Read);
}

std::int32_t TBComPort::WaitForOperation(TPortOperation* Op)
{
    if (Op == nullptr) {
        RaiseComFault(ComFault::NoOperation);
    }
    // No open-port test here: a transfer that Close aborts must end with the
    // message of its kind in the thread that waits for it.
    DWORD n = 0;
    const bool done = api_.WaitForSingleObject(Op->Overlapped.hEvent, INFINITE) == WAIT_OBJECT_0 &&
                      api_.GetOverlappedResult(Handle(), &Op->Overlapped, &n, FALSE);
    const ComFault fault = Op->Kind == pokRead ? ComFault::Read : ComFault::Write;
    if (!done) {
        RaiseComFault(fault);
    }
    return CheckedCount(n, fault);
}

// --- queries ---

COMSTAT TBComPort::QueueStatus()
{
    RequireOpen();
    DWORD errors = 0;
    COMSTAT status{};
    // The error flags read here are dropped; reading them clears the
    // device's error state.
    if (!api_.ClearCommError(Handle(), &errors, &status)) {
        RaiseComFault(ComFault::ClearCommError);
    }
    return status;
}

std::int32_t TBComPort::PendingInput()
{
    return CheckedCount(QueueStatus().cbInQue, ComFault::ClearCommError);
}

std::int32_t TBComPort::PendingOutput()
{
    return CheckedCount(QueueStatus().cbOutQue, ComFault::ClearCommError);
}

TLineSignals TBComPort::LineSignals()
{
    RequireOpen();
    DWORD status = 0;
    if (!api_.GetCommModemStatus(Handle(), &status)) {
        RaiseComFault(ComFault::GetCommModemStatus);
    }
    return TLineSignals::FromBits(static_cast<std::uint8_t>((status >> 4) & 0x0F));
}

// --- dispatch ---

void TBComPort::DispatchEvents(TPortEvents events)
{
    for (TPortEvent e : kDispatchOrder) {
        if (!events.Contains(e)) {
            continue;
        }
        switch (e) {
            case pevError:
                FireError();
                break;
            case pevRxChar:
                FireRxChar();
                break;
            case pevTxEmpty:
                FireTxEmpty();
                break;
            case pevRing:
                FireRing();
                break;
            case pevCTS:
                FireCTSChange();
                break;
            case pevDSR:
                FireDSRChange();
                break;
            case pevRLSD:
                FireRLSDChange();
                break;
            case pevRx80Full:
                FireRx80Full();
                break;
        }
    }
}

void TBComPort::FireRxChar()
{
    // Queried even without a handler, so that a failing driver is noticed.
    // An earlier handler may have read everything: no call for 0 bytes.
    const std::int32_t count = PendingInput();
    if (count > 0 && OnRxChar) {
        OnRxChar(this, count);
    }
}

void TBComPort::FireTxEmpty()
{
    if (OnTxEmpty) {
        OnTxEmpty(this);
    }
}

void TBComPort::FireRing()
{
    if (OnRing) {
        OnRing(this);
    }
}

void TBComPort::FireRx80Full()
{
    if (OnRx80Full) {
        OnRx80Full(this);
    }
}

void TBComPort::FireCTSChange()
{
    if (OnCTSChange) {
        OnCTSChange(this, LineSignals().Contains(lsCTS));
    }
}

void TBComPort::FireDSRChange()
{
    if (OnDSRChange) {
        OnDSRChange(this, LineSignals().Contains(lsDSR));
    }
}

void TBComPort::FireRLSDChange()
{
    if (OnRLSDChange) {
        OnRLSDChange(this, LineSignals().Contains(lsRLSD));
    }
}

void TBComPort::FireError()
{
    RequireOpen();
    DWORD flags = 0;
    COMSTAT status{};
    if (!api_.ClearCommError(Handle(), &flags, &status)) {
        RaiseComFault(ComFault::ClearCommError);
    }
    const TComErrors errors = CommErrorsFromFlags(flags, parity_);
    if (!errors.Empty() && OnError) {
        OnError(this, errors);
    }
}

void TBComPort::NotifyWindowProc(DWORD event)
{
    if (!open_.load()) {
        return;
    }
    switch (event) {
        case EV_RXCHAR:
            FireRxChar();
            break;
        case EV_TXEMPTY:
            FireTxEmpty();
            break;
        case EV_CTS:
            FireCTSChange();
            break;
        case EV_DSR:
            FireDSRChange();
            break;
        case EV_RLSD:
            FireRLSDChange();
            break;
        case EV_ERR:
            FireError();
            break;
        case EV_RING:
            FireRing();
            break;
        case EV_RX80FULL:
            FireRx80Full();
            break;
        default:
            break;
    }
}

}  // namespace cardpush
