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

#include "link/link_session.h"
#include "link/protocol.h"
#include "platform/comm_api.h"
#include "platform/comm_contract.h"
#include "platform/cp1251.h"
#include "platform/main_thread.h"
#include "serial/BCPort.h"
#include "serial/port_contract.h"
#include "serial/serial_test_util.h"
#include "support/forwarding_comm_api.h"
#include "support/session_harness.h"
#include "win32/wine_setup.h"

namespace cardpush {

// The raw calls and the serial component: the contracts every backend keeps.
namespace platform {
INSTANTIATE_TYPED_TEST_SUITE_P(Win32Comm, CommObjectsContract, test::WineSimulatorLine);
INSTANTIATE_TYPED_TEST_SUITE_P(Win32Comm, CommLineContract, test::WineSimulatorLine);
}  // namespace platform
INSTANTIATE_TYPED_TEST_SUITE_P(Win32Port, SerialPortContract, test::WineSimulatorLine);

namespace {

using platform::MainThread;

class SimulatorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const std::string why = test::WineSimulatorLine().Why(); !why.empty()) {
            GTEST_SKIP() << why;
        }
        port_ = test::SimulatorPort();
        MainThread::Bind();
    }
    void TearDown() override { MainThread::ServePending(); }

    std::string port_;
};

// --- the serial component ---

TEST_F(SimulatorTest, LineErrorsAndBreaksAreReported)
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
class CompletionCheckApi final : public testing::ForwardingCommApi {
public:
    // Events closed while their operation was not yet seen complete.
    int ClosedUnseen()
    {
        std::lock_guard lock(mutex_);
        return closedUnseen_;
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
        return ForwardingCommApi::CloseHandle(handle);
    }
    BOOL WaitCommEvent(HANDLE device, DWORD* mask, OVERLAPPED* overlapped) override
    {
        return Started(overlapped, ForwardingCommApi::WaitCommEvent(device, mask, overlapped));
    }
    BOOL ReadFile(HANDLE device, void* buffer, DWORD count, DWORD* read,
                  OVERLAPPED* overlapped) override
    {
        return Started(overlapped,
                       ForwardingCommApi::ReadFile(device, buffer, count, read, overlapped));
    }
    BOOL WriteFile(HANDLE device, const void* buffer, DWORD count, DWORD* written,
                   OVERLAPPED* overlapped) override
    {
        return Started(overlapped,
                       ForwardingCommApi::WriteFile(device, buffer, count, written, overlapped));
    }
    BOOL GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* transferred,
                             BOOL wait) override
    {
        const BOOL done =
            ForwardingCommApi::GetOverlappedResult(device, overlapped, transferred, wait);
        if (done || GetLastError() != ERROR_IO_INCOMPLETE) {
            Seen(overlapped->hEvent);
        }
        return done;
    }
    DWORD WaitForSingleObject(HANDLE object, DWORD ms) override
    {
        const DWORD result = ForwardingCommApi::WaitForSingleObject(object, ms);
        if (result == WAIT_OBJECT_0) {
            Seen(object);
        }
        return result;
    }
    DWORD WaitForMultipleObjects(DWORD count, const HANDLE* objects, BOOL all, DWORD ms) override
    {
        const DWORD result = ForwardingCommApi::WaitForMultipleObjects(count, objects, all, ms);
        if (!all && result >= WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + count) {
            Seen(objects[result - WAIT_OBJECT_0]);
        }
        return result;
    }

private:
    BOOL Started(OVERLAPPED* overlapped, BOOL done)
    {
        // A start that failed began nothing; one still outstanding on the
        // same record stays as it was.
        if (done || GetLastError() == ERROR_IO_PENDING) {
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
    testing::SessionHarness harness(
        platform::SystemCommApi(), testing::SavedPort(port_),
        {std::chrono::milliseconds(100), std::chrono::milliseconds(100), 30});
    const testing::RecordingView& view = harness.view;
    {
        LinkSession& link = harness.Link();
        harness.Session().Start();
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
        EXPECT_EQ(harness.Session().SavedPort(), port_);
        harness.session.reset();
    }
    EXPECT_EQ(view.Ports(), std::vector<std::string>{port_});
    ASSERT_FALSE(view.ShownValues().empty());
    EXPECT_EQ(view.ShownValues().back().FirmwareVersion, "72");
    EXPECT_TRUE(view.CardCommandsEnabled()) << "the firmware gate opened";
    EXPECT_EQ(Trimmed(view.CardList()), test::SimulatorCards());
    ASSERT_FALSE(view.Captions().empty());
    EXPECT_EQ(Cp1251ToUtf8(view.Captions().front()), "Подключение к рольгангу...");
    EXPECT_EQ(Cp1251ToUtf8(view.Captions().back()), "Загрузка на карту  памяти рольганга");
}

}  // namespace
}  // namespace cardpush
