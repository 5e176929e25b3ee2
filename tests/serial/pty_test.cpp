// TBComPort on the system's own device layer, over real pseudo-terminals:
// the contract every backend keeps, against the controller simulator, and
// more with a peer standing where the controller would be. The test's thread is
// the GUI thread (MainThread::Bind) and serves the hand-overs itself.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/comm_posix_pty.h"
#include "platform/main_thread.h"
#include "serial/BCPort.h"
#include "serial/port_contract.h"
#include "serial/serial_test_util.h"
#include "support/simulator_line.h"

namespace cardpush {

INSTANTIATE_TYPED_TEST_SUITE_P(PosixPort, SerialPortContract, testing::SimulatorLine);

namespace {

using platform::MainThread;
using platform::testing::AllByteValues;
using platform::testing::EntriesIn;
using platform::testing::PtyPeer;
using test::ComPortMessage;

class PtyPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MainThread::Bind();
        port.SetPort(peer.path());
        port.OnRxChar = [this](TBComPort* p, std::int32_t count) {
            EXPECT_GE(count, 1);
            std::string text;
            p->ReadText(text, count);
            {
                std::lock_guard lock(mutex);
                received += text;
                counts.push_back(count);
                handlerThreads.push_back(std::this_thread::get_id());
            }
            MainThread::Wake();
        };
    }
    void TearDown() override
    {
        port.Close();
        MainThread::SetWakeup(nullptr);
        MainThread::ServePending();
    }

    // Serves the GUI thread until `size` bytes have been received.
    std::string ServeUntilReceived(std::size_t size)
    {
        MainThread::WaitServing([&] { return ReceivedSize() >= size; });
        std::lock_guard lock(mutex);
        return received;
    }
    std::size_t ReceivedSize()
    {
        std::lock_guard lock(mutex);
        return received.size();
    }
    // Blocks, without serving, until a dispatch has been queued for the GUI
    // thread.
    void WaitForQueuedDispatch()
    {
        std::unique_lock lock(queueMutex);
        queueChanged.wait(lock, [&] { return queued > 0; });
    }
    void CountQueued()
    {
        MainThread::SetWakeup([this] {
            {
                std::lock_guard lock(queueMutex);
                ++queued;
            }
            queueChanged.notify_all();
        });
    }

    PtyPeer peer;
    TBComPort port;  // the system's device layer
    std::mutex mutex;
    std::string received;
    std::vector<std::int32_t> counts;
    std::vector<std::thread::id> handlerThreads;

    std::mutex queueMutex;
    std::condition_variable queueChanged;
    int queued = 0;
};

TEST_F(PtyPortTest, ReplySplitOverTwoWakeUpsArrivesWhole)
{
    port.Open();
    // The first half is read before the second is sent: two wake-ups.
    peer.Write("N12");
    EXPECT_EQ("N12", ServeUntilReceived(3));
    peer.Write("34_");
    EXPECT_EQ("N1234_", ServeUntilReceived(6));
    std::lock_guard lock(mutex);
    EXPECT_GE(counts.size(), 2u);
}

TEST_F(PtyPortTest, EveryByteValueCrossesBothWaysUnchanged)
{
    const std::string all = AllByteValues();
    port.Open();
    EXPECT_EQ(256, port.WriteText(all));
    EXPECT_EQ(all, peer.Read(all.size()));

    peer.Write(all);
    EXPECT_EQ(all, ServeUntilReceived(all.size()));
}

// The peer reads nothing, so the text fills the line's buffers and the
// device ends the write when its time-outs run out, with part of it written.
TEST_F(PtyPortTest, WriteThatTheTimeoutsEndShortIsTheWriteError)
{
    port.Timeouts().SetWriteTotalMultiplier(0);
    port.Timeouts().SetWriteTotalConstant(200);
    port.Open();
    const std::string big(1 << 20, 'w');
    EXPECT_EQ("Ошибка записи в порт", ComPortMessage([&] { port.WriteText(big); }));
    EXPECT_TRUE(port.Connected());
}

TEST_F(PtyPortTest, CloseOnTheGuiThreadRunsThePendingDispatchAndReturns)
{
    CountQueued();
    port.Open();
    peer.Write("x");
    WaitForQueuedDispatch();
    EXPECT_TRUE(port.Close());
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(1u, ReceivedSize());
}

TEST_F(PtyPortTest, CloseOnAnotherThreadReturnsOnceTheGuiThreadRanThePendingDispatch)
{
    CountQueued();
    port.Open();
    peer.Write("x");
    WaitForQueuedDispatch();

    test::CloseServing(port);
    EXPECT_EQ(1u, ReceivedSize());
    EXPECT_FALSE(port.Connected());
}

TEST_F(PtyPortTest, ThousandOpenCloseCyclesLeakNoDescriptorOrThread)
{
    // A first cycle brings up whatever the process keeps for good.
    port.Open();
    port.Close();
    const std::size_t descriptors = EntriesIn("/proc/self/fd");
    const std::size_t threads = EntriesIn("/proc/self/task");

    for (int i = 0; i < 1000; ++i) {
        ASSERT_TRUE(port.Open()) << "cycle " << i;
        if (i % 100 == 0) {
            peer.Write("z");
            ServeUntilReceived(static_cast<std::size_t>(i / 100 + 1));
        }
        ASSERT_TRUE(port.Close()) << "cycle " << i;
    }
    EXPECT_EQ(descriptors, EntriesIn("/proc/self/fd"));
    EXPECT_EQ(threads, EntriesIn("/proc/self/task"));
    EXPECT_EQ(10u, ReceivedSize());
}

}  // namespace
}  // namespace cardpush
