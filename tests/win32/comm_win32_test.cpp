// The system's own device layer (kernel32) under Wine, with the controller
// simulator on a pseudo-terminal behind a COM port: the raw calls the serial
// component relies on, the component itself, and the link's identification
// handshake, all through the real Win32 calls.
//
// The test's thread is the GUI thread (MainThread::Bind) and serves the
// hand-overs itself.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/link_host.h"
#include "link/link_session.h"
#include "link/protocol.h"
#include "platform/comm_api.h"
#include "platform/cp1251.h"
#include "platform/main_thread.h"
#include "serial/BCPort.h"
#include "win32/wine_setup.h"

namespace cardpush {
namespace {

using platform::CommApi;
using platform::MainThread;
using platform::SystemCommApi;

// The controller's answer to the presence query.
constexpr const char* kPresenceAnswer = "S0_";

std::string ComPortMessage(const std::function<void()>& f)
{
    try {
        f();
    } catch (const EComPort& e) {
        return Cp1251ToUtf8(e.what());
    }
    return "(nothing thrown)";
}

class SimulatorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port_ = test::SimulatorPort();
        if (port_.empty()) {
            GTEST_SKIP() << "no COM port leads to the controller simulator: "
                            "scripts/test-windows.sh sets one up";
        }
        if (!test::ModemLinesOnPseudoTerminals()) {
            GTEST_SKIP() << "Wine cannot wait for events on a pseudo-terminal, nor set or read "
                            "its modem lines, without the modem-line stand-in that "
                            "scripts/test-windows.sh preloads";
        }
        MainThread::Bind();
    }
    void TearDown() override { MainThread::ServePending(); }

    std::string port_;
};

// --- the raw calls ---

class Win32DeviceTest : public SimulatorTest {
protected:
    void TearDown() override
    {
        if (device_ != INVALID_HANDLE_VALUE) {
            api_.CloseHandle(device_);
        }
        for (HANDLE event : events_) {
            api_.CloseHandle(event);
        }
        SimulatorTest::TearDown();
    }

    HANDLE Open()
    {
        const std::string path = "\\\\.\\" + port_;
        device_ = api_.CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        return device_;
    }
    HANDLE NewEvent()
    {
        events_.push_back(api_.CreateEventA(nullptr, TRUE, FALSE, nullptr));
        return events_.back();
    }

    CommApi& api_ = SystemCommApi();
    HANDLE device_ = INVALID_HANDLE_VALUE;
    std::vector<HANDLE> events_;
};

TEST_F(Win32DeviceTest, PresenceQueryIsAnsweredThroughAnEventWaitAndOverlappedTransfers)
{
    ASSERT_NE(Open(), INVALID_HANDLE_VALUE) << "error " << api_.GetLastError();
    ASSERT_TRUE(api_.SetupComm(device_, 2048, 2048));
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = 9600;
    dcb.fBinary = 1;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    ASSERT_TRUE(api_.SetCommState(device_, &dcb)) << "error " << api_.GetLastError();
    // Reads return at once with what has arrived: the component's default.
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 1000};
    ASSERT_TRUE(api_.SetCommTimeouts(device_, &timeouts));
    ASSERT_TRUE(api_.PurgeComm(device_, PURGE_RXCLEAR | PURGE_TXCLEAR));
    ASSERT_TRUE(api_.SetCommMask(device_, EV_RXCHAR));

    OVERLAPPED write{};
    write.hEvent = NewEvent();
    DWORD written = 0;
    if (!api_.WriteFile(device_, "S", 1, &written, &write)) {
        ASSERT_EQ(api_.GetLastError(), ERROR_IO_PENDING);
    }
    ASSERT_TRUE(api_.GetOverlappedResult(device_, &write, &written, TRUE));
    EXPECT_EQ(written, 1u);

    std::string received;
    OVERLAPPED wait{};
    wait.hEvent = NewEvent();
    while (received.size() < 3) {
        DWORD mask = 0;
        if (!api_.WaitCommEvent(device_, &mask, &wait)) {
            ASSERT_EQ(api_.GetLastError(), ERROR_IO_PENDING);
            DWORD unused = 0;
            ASSERT_TRUE(api_.GetOverlappedResult(device_, &wait, &unused, TRUE));
        }
        EXPECT_EQ(mask, EV_RXCHAR);

        DWORD errors = 0;
        COMSTAT status{};
        ASSERT_TRUE(api_.ClearCommError(device_, &errors, &status));
        EXPECT_EQ(errors, 0u);
        if (status.cbInQue == 0) {
            continue;  // the bytes of this event were taken by the last read
        }
        std::string chunk(status.cbInQue, '\0');
        OVERLAPPED read{};
        read.hEvent = NewEvent();
        DWORD count = 0;
        if (!api_.ReadFile(device_, chunk.data(), status.cbInQue, &count, &read)) {
            ASSERT_EQ(api_.GetLastError(), ERROR_IO_PENDING);
            ASSERT_TRUE(api_.GetOverlappedResult(device_, &read, &count, TRUE));
        }
        received.append(chunk.data(), count);
    }
    EXPECT_EQ(received, kPresenceAnswer);
}

TEST_F(Win32DeviceTest, ModemLinesCanBeSetAndRead)
{
    ASSERT_NE(Open(), INVALID_HANDLE_VALUE) << "error " << api_.GetLastError();
    for (DWORD function : {SETDTR, SETRTS, CLRDTR, CLRRTS}) {
        EXPECT_TRUE(api_.EscapeCommFunction(device_, function))
            << "function " << function << ", error " << api_.GetLastError();
    }
    DWORD status = 0xFFFFFFFFu;
    EXPECT_TRUE(api_.GetCommModemStatus(device_, &status)) << "error " << api_.GetLastError();
    EXPECT_EQ(status & ~DWORD{MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON}, 0u);
}

// A wait cut short by a new mask completes, with an empty mask, before
// SetCommMask returns: the event thread ends on exactly that.
TEST_F(Win32DeviceTest, NewMaskCompletesAnOutstandingWait)
{
    ASSERT_NE(Open(), INVALID_HANDLE_VALUE) << "error " << api_.GetLastError();
    ASSERT_TRUE(api_.SetCommMask(device_, EV_RXCHAR | EV_ERR | EV_BREAK));
    OVERLAPPED wait{};
    wait.hEvent = NewEvent();
    DWORD mask = 0xFFFFFFFFu;
    ASSERT_FALSE(api_.WaitCommEvent(device_, &mask, &wait)) << "nothing to report yet";
    ASSERT_EQ(api_.GetLastError(), ERROR_IO_PENDING);

    ASSERT_TRUE(api_.SetCommMask(device_, 0));
    ASSERT_EQ(api_.WaitForSingleObject(wait.hEvent, INFINITE), WAIT_OBJECT_0);
    DWORD unused = 0;
    api_.GetOverlappedResult(device_, &wait, &unused, FALSE);
    EXPECT_EQ(mask, 0u);
}

// Needs no device: runs without the simulator too.
TEST(Win32EventTest, WaitForSeveralObjectsNamesTheOneSignalled)
{
    CommApi& api = SystemCommApi();
    const HANDLE objects[2] = {api.CreateEventA(nullptr, TRUE, FALSE, nullptr),
                               api.CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    EXPECT_EQ(api.WaitForMultipleObjects(2, objects, FALSE, 0), WAIT_TIMEOUT);
    ASSERT_TRUE(api.SetEvent(objects[1]));
    EXPECT_EQ(api.WaitForMultipleObjects(2, objects, FALSE, INFINITE), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(api.WaitForSingleObject(objects[1], 0), WAIT_OBJECT_0) << "manual reset: still set";
    api.CloseHandle(objects[0]);
    api.CloseHandle(objects[1]);
}

TEST(Win32MissingPortTest, MissingPortIsNamedSo)
{
    TBComPort missing;
    missing.SetPort("COM251");
    EXPECT_EQ(ComPortMessage([&] { missing.Open(); }), "Попытка открыть несуществующий COM-порт");
    EXPECT_FALSE(missing.Connected());
}

// --- the serial component ---

class Win32PortTest : public SimulatorTest {
protected:
    void SetUp() override
    {
        SimulatorTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        port.SetPort(port_);
        port.OnRxChar = [this](TBComPort* p, std::int32_t count) {
            std::string text;
            p->ReadText(text, count);
            std::lock_guard lock(mutex);
            received += text;
            guiThreadOnly = guiThreadOnly && MainThread::IsCurrent();
        };
    }
    void TearDown() override
    {
        port.Close();
        SimulatorTest::TearDown();
    }

    // Serves the GUI thread until `size` bytes have been received.
    std::string ServeUntilReceived(std::size_t size)
    {
        MainThread::WaitServing([&] {
            std::lock_guard lock(mutex);
            return received.size() >= size;
        });
        std::lock_guard lock(mutex);
        return received;
    }
    void Forget()
    {
        std::lock_guard lock(mutex);
        received.clear();
    }

    TBComPort port;  // the system's device layer
    std::mutex mutex;
    std::string received;
    bool guiThreadOnly = true;
};

TEST_F(Win32PortTest, PresenceQueryIsAnsweredOnTheGuiThreadAndCloseLetsGo)
{
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(port.WriteText("S"), 1);
    EXPECT_EQ(ServeUntilReceived(3), kPresenceAnswer);
    EXPECT_TRUE(guiThreadOnly);

    EXPECT_TRUE(port.Close());
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(ComPortMessage([&] { port.WriteText("S"); }), "Порт не открыт");
}

TEST_F(Win32PortTest, PortOpensAgainAfterCloseAndStillAnswers)
{
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        Forget();
        ASSERT_TRUE(port.Open());
        EXPECT_EQ(port.WriteText("S"), 1);
        EXPECT_EQ(ServeUntilReceived(3), kPresenceAnswer);
        ASSERT_TRUE(port.Close());
    }
}

TEST_F(Win32PortTest, LineSettingsAndModemLinesGoToTheOpenDevice)
{
    ASSERT_TRUE(port.Open());
    port.SetBaudRate(br115200);
    port.SetParity(paEven);
    port.SetParity(paNone);
    port.SetInBufSize(4096);
    port.Timeouts().SetWriteTotalConstant(2000);
    port.SetDTRLine(true);
    port.SetRTSLine(true);
    port.LineSignals();
    EXPECT_EQ(port.PendingInput(), 0);
    EXPECT_EQ(port.WriteText("S"), 1);
    EXPECT_EQ(ServeUntilReceived(3), kPresenceAnswer);
}

TEST_F(Win32PortTest, SecondOpenIsRefusedWhileOpen)
{
    ASSERT_TRUE(port.Open());
    TBComPort second;
    second.SetPort(port_);
    const std::string message = ComPortMessage([&] { second.Open(); });
    if (second.Connected()) {
        second.Close();
        GTEST_SKIP() << "Wine does not enforce the exclusive open of a COM port: the driver "
                        "does that on Windows";
    }
    EXPECT_EQ(message, "Порт занят другой программой");
}

TEST_F(Win32PortTest, LineErrorsAndBreaksAreReported)
{
    GTEST_SKIP() << "a pseudo-terminal has no framing, parity or overrun errors and no break, "
                    "so Wine never reports EV_ERR or EV_BREAK on one";
}

// Forwards every call to the system and checks that every overlapped
// operation is seen complete (the start returned at once, or a wait on its
// event or its result said so) before its event is closed, which is when
// its record goes away. A driver may complete an operation that a new event
// mask has cut short only after SetCommMask has returned: writing into a
// record that is gone by then corrupts memory, unseen or fatally.
class CompletionCheckApi final : public CommApi {
public:
    // Events closed while their operation was not yet seen complete.
    int ClosedUnseen()
    {
        std::lock_guard lock(mutex_);
        return closedUnseen_;
    }

    HANDLE CreateFileA(const char* name, DWORD access, DWORD shareMode, void* security,
                       DWORD disposition, DWORD flags, HANDLE templateFile) override
    {
        return api_.CreateFileA(name, access, shareMode, security, disposition, flags,
                                templateFile);
    }
    BOOL CloseHandle(HANDLE handle) override
    {
        {
            std::lock_guard lock(mutex_);
            const auto op = seen_.find(handle);
            if (op != seen_.end()) {
                closedUnseen_ += op->second ? 0 : 1;
                seen_.erase(op);
            }
        }
        return api_.CloseHandle(handle);
    }
    BOOL SetupComm(HANDLE device, DWORD in, DWORD out) override
    {
        return api_.SetupComm(device, in, out);
    }
    BOOL SetCommState(HANDLE device, DCB* dcb) override { return api_.SetCommState(device, dcb); }
    BOOL SetCommTimeouts(HANDLE device, COMMTIMEOUTS* timeouts) override
    {
        return api_.SetCommTimeouts(device, timeouts);
    }
    BOOL SetCommMask(HANDLE device, DWORD mask) override { return api_.SetCommMask(device, mask); }
    BOOL WaitCommEvent(HANDLE device, DWORD* mask, OVERLAPPED* overlapped) override
    {
        return Started(overlapped, api_.WaitCommEvent(device, mask, overlapped));
    }
    BOOL ReadFile(HANDLE device, void* buffer, DWORD count, DWORD* read,
                  OVERLAPPED* overlapped) override
    {
        return Started(overlapped, api_.ReadFile(device, buffer, count, read, overlapped));
    }
    BOOL WriteFile(HANDLE device, const void* buffer, DWORD count, DWORD* written,
                   OVERLAPPED* overlapped) override
    {
        return Started(overlapped, api_.WriteFile(device, buffer, count, written, overlapped));
    }
    BOOL GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* transferred,
                             BOOL wait) override
    {
        const BOOL done = api_.GetOverlappedResult(device, overlapped, transferred, wait);
        if (done || api_.GetLastError() != ERROR_IO_INCOMPLETE) {
            Seen(overlapped->hEvent);
        }
        return done;
    }
    BOOL PurgeComm(HANDLE device, DWORD flags) override { return api_.PurgeComm(device, flags); }
    BOOL ClearCommError(HANDLE device, DWORD* errors, COMSTAT* status) override
    {
        return api_.ClearCommError(device, errors, status);
    }
    BOOL GetCommModemStatus(HANDLE device, DWORD* status) override
    {
        return api_.GetCommModemStatus(device, status);
    }
    BOOL EscapeCommFunction(HANDLE device, DWORD function) override
    {
        return api_.EscapeCommFunction(device, function);
    }
    HANDLE CreateEventA(void* security, BOOL manual, BOOL initial, const char* name) override
    {
        return api_.CreateEventA(security, manual, initial, name);
    }
    BOOL SetEvent(HANDLE event) override { return api_.SetEvent(event); }
    DWORD WaitForSingleObject(HANDLE object, DWORD ms) override
    {
        const DWORD result = api_.WaitForSingleObject(object, ms);
        if (result == WAIT_OBJECT_0) {
            Seen(object);
        }
        return result;
    }
    DWORD WaitForMultipleObjects(DWORD count, const HANDLE* objects, BOOL all, DWORD ms) override
    {
        const DWORD result = api_.WaitForMultipleObjects(count, objects, all, ms);
        if (!all && result >= WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + count) {
            Seen(objects[result - WAIT_OBJECT_0]);
        }
        return result;
    }
    DWORD GetLastError() override { return api_.GetLastError(); }
    LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access,
                       HKEY* key) override
    {
        return api_.RegOpenKeyExA(root, subKey, options, access, key);
    }
    LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* reserved,
                       DWORD* type, BYTE* data, DWORD* dataLength) override
    {
        return api_.RegEnumValueA(key, index, name, nameLength, reserved, type, data, dataLength);
    }
    LONG RegCloseKey(HKEY key) override { return api_.RegCloseKey(key); }
    int CompareStringA(LCID locale, DWORD flags, const char* a, int aLength, const char* b,
                       int bLength) override
    {
        return api_.CompareStringA(locale, flags, a, aLength, b, bLength);
    }

private:
    BOOL Started(OVERLAPPED* overlapped, BOOL done)
    {
        // A start that failed began nothing; one still outstanding on the
        // same record stays as it was.
        if (done || api_.GetLastError() == ERROR_IO_PENDING) {
            std::lock_guard lock(mutex_);
            seen_[overlapped->hEvent] = done;
        }
        return done;
    }
    void Seen(HANDLE event)
    {
        std::lock_guard lock(mutex_);
        if (const auto op = seen_.find(event); op != seen_.end()) {
            op->second = true;
        }
    }

    CommApi& api_ = SystemCommApi();
    std::mutex mutex_;
    // Event of an operation started -> whether its completion has been seen.
    std::map<HANDLE, bool> seen_;
    int closedUnseen_ = 0;
};

// Close cuts the event thread's outstanding wait short; Wine finishes it a
// few milliseconds after the new event mask is in.
TEST_F(SimulatorTest, EveryOperationIsSeenCompleteBeforeItsRecordGoes)
{
    CompletionCheckApi api;
    TBComPort port(nullptr, api);
    port.SetPort(port_);
    std::atomic<int> received{0};
    port.OnRxChar = [&](TBComPort* p, std::int32_t count) {
        std::string text;
        received += p->ReadText(text, count);
        MainThread::Wake();
    };
    for (int round = 0; round < 20; ++round) {
        received = 0;
        ASSERT_TRUE(port.Open());
        port.WriteText("S");
        MainThread::WaitServing([&] { return received.load() >= 3; });
        port.Close();
    }
    EXPECT_EQ(api.ClosedUnseen(), 0);
}

// --- the link ---

// Records what the link shows; every call but SavedPort/SetSavedPort comes on
// the GUI thread, which is the test's own.
class RecordingHost final : public LinkHost {
public:
    explicit RecordingHost(std::string saved) : saved_(std::move(saved)) {}

    void SetCaption(const std::string& text) override { captions.push_back(text); }
    void AddLogLine(const std::string& line) override { log.push_back(line); }
    void ShowPort(const std::string& port) override { shownPort = port; }
    void ShowLinkInfo(const LinkValues& values) override { shown = values; }
    void CheckFirmware() override { firmwareChecks.push_back(shown.FirmwareVersion); }
    void ClearCardList() override { cards.clear(); }
    void AddCardName(const std::string& name) override { cards.push_back(name); }
    std::string SavedPort() override
    {
        std::lock_guard lock(mutex_);
        return saved_;
    }
    void SetSavedPort(const std::string& port) override
    {
        std::lock_guard lock(mutex_);
        saved_ = port;
    }

    std::vector<std::string> captions;
    std::vector<std::string> log;
    std::string shownPort;
    LinkValues shown;
    std::vector<std::string> firmwareChecks;
    std::vector<std::string> cards;

private:
    std::mutex mutex_;
    std::string saved_;
};

std::vector<std::string> Trimmed(const std::vector<std::string>& names)
{
    std::vector<std::string> trimmed;
    for (const auto& name : names) {
        trimmed.push_back(protocol::TrimName(name));
    }
    return trimmed;
}

TEST_F(SimulatorTest, LinkIdentifiesTheControllerAndListsItsCard)
{
    RecordingHost host(port_);
    {
        LinkSession link(host);
        link.SetTiming({std::chrono::milliseconds(100), std::chrono::milliseconds(100), 30});
        link.Start();
        // Identification, the firmware gate and the first listing, then idle.
        // The link's lock is taken under the hand-over queue's, never the
        // other way round.
        MainThread::WaitServing([&] { return link.CardCommandsAllowed(); });

        const LinkValues values = link.Values();
        EXPECT_EQ(values.SerialNumber, "12345");
        EXPECT_EQ(values.MinValue, -1.5);
        EXPECT_EQ(values.MaxValue, 12.5);
        EXPECT_EQ(values.Accuracy, 3);
        EXPECT_EQ(values.FirmwareVersion, "72");
        EXPECT_EQ(values.ModeValue, 1.0);
        EXPECT_EQ(link.LinkState(), protocol::LinkState::Idle);
    }
    EXPECT_EQ(host.shownPort, port_);
    EXPECT_EQ(host.SavedPort(), port_);
    EXPECT_EQ(host.shown.FirmwareVersion, "72");
    EXPECT_EQ(host.firmwareChecks, std::vector<std::string>{"72"});
    EXPECT_EQ(Trimmed(host.cards), test::SimulatorCards());
    ASSERT_FALSE(host.captions.empty());
    EXPECT_EQ(Cp1251ToUtf8(host.captions.back()), "Подключение к рольгангу...");
}

}  // namespace
}  // namespace cardpush
