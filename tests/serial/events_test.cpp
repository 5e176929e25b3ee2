// The event thread against the recording device layer: dispatch order, what
// each dispatch asks of the driver, the three delivery modes, failures inside
// a dispatch, and Close while a dispatch waits for the GUI thread.
//
// The test's own thread is the GUI thread (MainThread::Bind).
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/fake_comm_api.h"
#include "platform/main_thread.h"
#include "serial/BCPort.h"
#include "serial/serial_test_util.h"

namespace cardpush {
namespace {

using platform::MainThread;
using test::Call;
using test::FakeCommApi;
using test::HandlerLog;
using Entries = std::vector<std::string>;

constexpr DWORD kAllEvents =
    EV_RXCHAR | EV_TXEMPTY | EV_RING | EV_CTS | EV_DSR | EV_RLSD | EV_ERR | EV_RX80FULL;

// Remembers that a hand-over was queued for the GUI thread, without serving it.
class QueuedFlag {
public:
    std::function<void()> Wakeup()
    {
        return [this] {
            {
                std::lock_guard lock(mutex_);
                ++count_;
            }
            changed_.notify_all();
        };
    }
    void WaitFor(int n)
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(20), [&] { return count_ >= n; });
    }
    int Count()
    {
        std::lock_guard lock(mutex_);
        return count_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int count_ = 0;
};

class EventThreadTest : public ::testing::Test {
protected:
    void SetUp() override { MainThread::Bind(); }
    void TearDown() override
    {
        port.Close();
        MainThread::SetWakeup(nullptr);
        MainThread::SetExceptionHook(nullptr);
        MainThread::ServePending();
    }

    void LogEveryEvent()
    {
        port.OnError = [this](TBComPort*, TComErrors e) {
            log.Add("error " + std::to_string(e.Bits()));
        };
        port.OnRxChar = [this](TBComPort* p, std::int32_t count) {
            std::string text;
            p->ReadText(text, count);
            log.Add("rx " + text);
        };
        port.OnTxEmpty = [this](TBComPort*) { log.Add("txempty"); };
        port.OnRing = [this](TBComPort*) { log.Add("ring"); };
        port.OnCTSChange = [this](TBComPort*, bool on) { log.Add(on ? "cts on" : "cts off"); };
        port.OnDSRChange = [this](TBComPort*, bool on) { log.Add(on ? "dsr on" : "dsr off"); };
        port.OnRLSDChange = [this](TBComPort*, bool on) { log.Add(on ? "rlsd on" : "rlsd off"); };
        port.OnRx80Full = [this](TBComPort*) { log.Add("rx80full"); };
    }

    // Serves the GUI thread's hand-overs until the log holds n entries.
    Entries ServeUntilLogged(std::size_t n)
    {
        MainThread::WaitServing([&] { return logged.load() >= n; });
        return log.Entries();
    }
    void CountLogged()
    {
        ++logged;
        MainThread::Wake();
    }

    FakeCommApi fake;
    TBComPort port{nullptr, fake};
    HandlerLog log;
    std::atomic<std::size_t> logged{0};
};

TEST_F(EventThreadTest, EventsReportedTogetherAreDispatchedInTheFixedOrder)
{
    port.SetSyncMethod(smNone);
    LogEveryEvent();
    port.Open();
    fake.SetCommErrors(CE_FRAME);
    fake.SetModemStatus(MS_CTS_ON);
    fake.Receive("ab", false);
    fake.RaiseEvents(kAllEvents);

    const Entries expected = {"error 1", "rx ab",   "txempty",  "ring",
                              "cts on",  "dsr off", "rlsd off", "rx80full"};
    EXPECT_EQ(expected, log.WaitFor(8));
}

TEST_F(EventThreadTest, ReceivedCharactersReportTheQueueAndNeverZero)
{
    port.SetSyncMethod(smNone);
    LogEveryEvent();
    port.Open();
    fake.Receive("abc");
    log.WaitFor(1);
    // The handler read everything: a wake-up for an empty queue calls nothing.
    fake.RaiseEvents(EV_RXCHAR);
    fake.RaiseEvents(EV_TXEMPTY);
    EXPECT_EQ((Entries{"rx abc", "txempty"}), log.WaitFor(2));
}

TEST_F(EventThreadTest, ParityErrorsCountOnlyOnALineWithParity)
{
    port.SetSyncMethod(smNone);
    LogEveryEvent();
    port.Open();
    fake.SetCommErrors(CE_RXPARITY);
    fake.RaiseEvents(EV_ERR);
    fake.RaiseEvents(EV_TXEMPTY);
    EXPECT_EQ((Entries{"txempty"}), log.WaitFor(1));
    EXPECT_EQ(1u, fake.CountOf(Call::ClearCommError))
        << "the error flags are read and cleared anyway";

    port.Close();
    port.SetParity(paEven);
    port.Open();
    fake.SetCommErrors(CE_RXPARITY | CE_OOP);
    fake.RaiseEvents(EV_ERR);
    EXPECT_EQ((Entries{"txempty", "error 2"}), log.WaitFor(2));
}

TEST_F(EventThreadTest, LineChangesQueryTheLinesOnlyForAssignedHandlers)
{
    port.SetSyncMethod(smNone);
    port.OnTxEmpty = [this](TBComPort*) { log.Add("txempty"); };
    port.Open();
    fake.RaiseEvents(EV_CTS | EV_DSR | EV_RLSD);
    fake.RaiseEvents(EV_TXEMPTY);
    log.WaitFor(1);
    EXPECT_EQ(0u, fake.CountOf(Call::GetCommModemStatus));

    port.Close();
    port.OnCTSChange = [this](TBComPort*, bool on) { log.Add(on ? "cts on" : "cts off"); };
    port.Open();
    fake.SetModemStatus(MS_CTS_ON);
    fake.RaiseEvents(EV_CTS | EV_DSR);
    EXPECT_EQ((Entries{"txempty", "cts on"}), log.WaitFor(2));
    EXPECT_EQ(1u, fake.CountOf(Call::GetCommModemStatus));
}

TEST_F(EventThreadTest, ThreadSyncRunsTheHandlerOnTheGuiThreadWithTheCountWaiting)
{
    std::thread::id handlerThread;
    std::int32_t count = 0;
    port.OnRxChar = [&](TBComPort*, std::int32_t n) {
        handlerThread = std::this_thread::get_id();
        count = n;
        CountLogged();
    };
    port.Open();
    fake.Receive("hello");
    ServeUntilLogged(1);
    EXPECT_EQ(std::this_thread::get_id(), handlerThread);
    EXPECT_EQ(5, count);
}

TEST_F(EventThreadTest, HandlerThatThrowsEndsEventDeliveryUntilReopened)
{
    port.OnRxChar = [&](TBComPort*, std::int32_t) {
        CountLogged();
        throw std::runtime_error("handler failed");
    };
    port.Open();
    fake.Receive("x");
    ServeUntilLogged(1);
    // The thread's way out clears the mask: nothing wakes it any more.
    ASSERT_TRUE(fake.WaitUntil(fake.Called(Call::SetCommMask, 2)));
    EXPECT_EQ(0u, fake.EventMask());
    fake.Receive("y");
    MainThread::ServePending();
    EXPECT_EQ(1u, logged.load());

    // The port stays open and keeps what arrived.
    EXPECT_TRUE(port.Connected());
    std::string text;
    EXPECT_EQ(2, port.ReadText(text, 10));
    EXPECT_EQ("xy", text);

    EXPECT_TRUE(port.Close());
    EXPECT_EQ(0, fake.OpenEvents());
    EXPECT_EQ(0, fake.OpenDevices());

    port.Open();
    fake.Receive("z");
    ServeUntilLogged(2);
    EXPECT_EQ(2u, logged.load());
}

TEST_F(EventThreadTest, QueryFailureInsideADispatchEndsEventDelivery)
{
    port.SetSyncMethod(smNone);
    LogEveryEvent();
    port.Open();
    fake.FailNext(Call::ClearCommError, ERROR_GEN_FAILURE);
    fake.Receive("x");
    ASSERT_TRUE(fake.WaitUntil(fake.Called(Call::SetCommMask, 2)));
    fake.Receive("y");
    EXPECT_TRUE(port.Close());
    EXPECT_EQ(Entries{}, log.Entries());
    EXPECT_EQ(0, fake.OpenEvents());
}

TEST_F(EventThreadTest, WindowSyncSendsOneMessagePerEventAndRunsOnTheGuiThread)
{
    std::thread::id handlerThread;
    port.SetSyncMethod(smWindowSync);
    port.OnRLSDChange = [&](TBComPort*, bool) {
        handlerThread = std::this_thread::get_id();
        log.Add("rlsd");
        CountLogged();
    };
    port.OnRing = [&](TBComPort*) {
        log.Add("ring");
        CountLogged();
    };
    port.Open();

    // Messages are served in the order sent: a second message for the RLSD
    // change would come before the ring's.
    fake.RaiseEvents(EV_RLSD);
    ServeUntilLogged(1);
    fake.RaiseEvents(EV_RING);
    EXPECT_EQ((Entries{"rlsd", "ring"}), ServeUntilLogged(2));
    MainThread::ServePending();
    EXPECT_EQ((Entries{"rlsd", "ring"}), log.Entries());
    EXPECT_EQ(std::this_thread::get_id(), handlerThread);
}

TEST_F(EventThreadTest, WindowSyncReleasesTheEventThreadBeforeTheHandlerRuns)
{
    port.SetSyncMethod(smWindowSync);
    bool released = false;
    port.OnTxEmpty = [&](TBComPort*) {
        // The event thread goes back to waiting for events while we are here.
        released = fake.WaitUntil(fake.Called(Call::WaitCommEvent, 2));
        CountLogged();
    };
    port.Open();
    ASSERT_TRUE(fake.WaitUntil(fake.Called(Call::WaitCommEvent)));
    fake.RaiseEvents(EV_TXEMPTY);  // completes the first wait
    ServeUntilLogged(1);
    EXPECT_TRUE(released);
}

TEST_F(EventThreadTest, WindowSyncHandlerExceptionsGoToTheHookAndDeliveryGoesOn)
{
    std::vector<std::string> shown;
    MainThread::SetExceptionHook([&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& ex) {
            shown.emplace_back(ex.what());
        }
    });
    port.SetSyncMethod(smWindowSync);
    port.OnRing = [&](TBComPort*) {
        CountLogged();
        throw std::runtime_error("ring failed");
    };
    port.Open();
    fake.RaiseEvents(EV_RING);
    ServeUntilLogged(1);
    fake.RaiseEvents(EV_RING);
    ServeUntilLogged(2);
    EXPECT_EQ((Entries{"ring failed", "ring failed"}), shown);
}

TEST_F(EventThreadTest, CloseOnTheGuiThreadRunsTheDispatchThatWaitsForIt)
{
    QueuedFlag queued;
    MainThread::SetWakeup(queued.Wakeup());
    LogEveryEvent();
    port.Open();
    fake.Receive("abc");
    queued.WaitFor(1);  // the event thread now waits for us

    EXPECT_TRUE(port.Close());
    EXPECT_EQ((Entries{"rx abc"}), log.Entries());
    EXPECT_EQ(0, fake.OpenDevices());
}

TEST_F(EventThreadTest, CloseOnAnotherThreadReturnsOnceTheGuiThreadRanTheDispatch)
{
    QueuedFlag queued;
    MainThread::SetWakeup(queued.Wakeup());
    std::thread::id handlerThread;
    port.OnRxChar = [&](TBComPort* p, std::int32_t n) {
        handlerThread = std::this_thread::get_id();
        std::string text;
        p->ReadText(text, n);
        log.Add("rx " + text);
    };
    port.Open();
    fake.Receive("abc");
    queued.WaitFor(1);

    test::CloseServing(port);
    EXPECT_EQ((Entries{"rx abc"}), log.Entries());
    EXPECT_EQ(std::this_thread::get_id(), handlerThread);
    EXPECT_FALSE(port.Connected());
}

TEST_F(EventThreadTest, DeviceThatRefusesToWaitLeavesTheThreadIdleUntilClose)
{
    port.SetSyncMethod(smNone);
    fake.FailNext(Call::WaitCommEvent, ERROR_GEN_FAILURE);
    port.Open();
    ASSERT_TRUE(fake.WaitUntil(fake.Called(Call::WaitForSingleObject)));
    EXPECT_TRUE(port.Close());
    EXPECT_EQ(1u, fake.CountOf(Call::WaitCommEvent));
    EXPECT_EQ(0u, fake.CountOf(Call::GetOverlappedResult));
    EXPECT_EQ(0, fake.OpenEvents());
}

TEST_F(EventThreadTest, WakeUpWhoseCompletionFailsIsSkipped)
{
    port.SetSyncMethod(smNone);
    LogEveryEvent();
    port.Open();
    fake.FailNext(Call::GetOverlappedResult, ERROR_GEN_FAILURE);
    // One event per wake-up: each raise completes a wait already outstanding.
    ASSERT_TRUE(fake.WaitUntil(fake.Called(Call::WaitCommEvent)));
    fake.RaiseEvents(EV_TXEMPTY);
    ASSERT_TRUE(fake.WaitUntil(fake.Called(Call::WaitCommEvent, 2)));
    fake.RaiseEvents(EV_RING);
    EXPECT_EQ((Entries{"ring"}), log.WaitFor(1));
}

TEST_F(EventThreadTest, OpenCloseCyclesLeaveNoHandleBehind)
{
    port.SetSyncMethod(smNone);
    LogEveryEvent();
    for (int i = 0; i < 200; ++i) {
        port.Open();
        if (i % 50 == 0) {
            fake.Receive("x");
            log.WaitFor(static_cast<std::size_t>(i / 50 + 1));
        }
        port.Close();
    }
    EXPECT_EQ(0, fake.OpenEvents());
    EXPECT_EQ(0, fake.OpenDevices());
    EXPECT_EQ(4u, log.Entries().size());
}

}  // namespace
}  // namespace cardpush
