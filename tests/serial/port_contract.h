// The serial port on the system's own device layer, written once and run on
// every backend: natively against the controller simulator on a
// pseudo-terminal (pty_test.cpp), under Wine against the simulator behind a
// COM port (win32/comm_win32_test.cpp). The Line is that of
// tests/platform/comm_contract.h, with one more constant:
//
//   static constexpr bool kExclusiveOpen;  // a second open of an open port fails
//
// The test's thread is the GUI thread (MainThread::Bind) and serves the
// hand-overs itself.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/main_thread.h"
#include "serial/BCPort.h"
#include "serial/serial_test_util.h"

namespace cardpush {

template <class Line>
class SerialPortContract : public ::testing::Test {
protected:
    void SetUp() override
    {
        line_ = std::make_unique<Line>();
        if (const std::string why = line_->Why(); !why.empty()) {
            GTEST_SKIP() << why;
        }
        platform::MainThread::Bind();
        port_.SetPort(line_->PortName());
        port_.OnRxChar = [this](TBComPort* p, std::int32_t count) {
            std::string text;
            p->ReadText(text, count);
            // Asked before the lock: WaitServing holds the hand-over queue's
            // lock while it asks the predicate, which takes this one.
            const bool onGuiThread = platform::MainThread::IsCurrent();
            std::lock_guard lock(mutex_);
            received_ += text;
            guiThreadOnly_ = guiThreadOnly_ && onGuiThread;
        };
    }
    void TearDown() override
    {
        port_.Close();
        platform::MainThread::ServePending();
    }

    // Serves the GUI thread until `size` bytes have been received.
    std::string ServeUntilReceived(std::size_t size)
    {
        platform::MainThread::WaitServing([&] {
            std::lock_guard lock(mutex_);
            return received_.size() >= size;
        });
        std::lock_guard lock(mutex_);
        return received_;
    }
    void Forget()
    {
        std::lock_guard lock(mutex_);
        received_.clear();
    }

    std::unique_ptr<Line> line_;
    TBComPort port_;  // the system's device layer
    std::mutex mutex_;
    std::string received_;
    bool guiThreadOnly_ = true;
};

TYPED_TEST_SUITE_P(SerialPortContract);

TYPED_TEST_P(SerialPortContract, PresenceQueryIsAnsweredOnTheGuiThreadAndCloseLetsGo)
{
    TBComPort& port = this->port_;
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(port.WriteText("S"), 1);
    EXPECT_EQ(this->ServeUntilReceived(3), "S0_");
    EXPECT_TRUE(this->guiThreadOnly_);

    EXPECT_TRUE(port.Close());
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(test::ComPortMessage([&] { port.WriteText("S"); }), "Порт не открыт");
}

TYPED_TEST_P(SerialPortContract, PortOpensAgainAfterCloseAndStillAnswers)
{
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        this->Forget();
        ASSERT_TRUE(this->port_.Open());
        EXPECT_EQ(this->port_.WriteText("S"), 1);
        EXPECT_EQ(this->ServeUntilReceived(3), "S0_");
        ASSERT_TRUE(this->port_.Close());
    }
}

TYPED_TEST_P(SerialPortContract, LineSettingsAndModemLinesGoToTheOpenDevice)
{
    TBComPort& port = this->port_;
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
    EXPECT_EQ(this->ServeUntilReceived(3), "S0_");
}

TYPED_TEST_P(SerialPortContract, OpenIsExclusiveAndAMissingPortIsNamedSo)
{
    ASSERT_TRUE(this->port_.Open());
    TBComPort missing;
    missing.SetPort(TypeParam::kMissingPort);
    EXPECT_EQ(test::ComPortMessage([&] { missing.Open(); }),
              "Попытка открыть несуществующий COM-порт");
    EXPECT_FALSE(missing.Connected());

    TBComPort second;
    second.SetPort(this->line_->PortName());
    const std::string message = test::ComPortMessage([&] { second.Open(); });
    if (!TypeParam::kExclusiveOpen && second.Connected()) {
        second.Close();
        GTEST_SKIP() << "this system does not enforce the exclusive open of a COM port: the "
                        "driver does that on Windows";
    }
    EXPECT_EQ(message, "Порт занят другой программой");
    EXPECT_FALSE(second.Connected());
    this->port_.Close();
    EXPECT_TRUE(second.Open()) << "free again once closed";
    second.Close();
}

REGISTER_TYPED_TEST_SUITE_P(SerialPortContract, PresenceQueryIsAnsweredOnTheGuiThreadAndCloseLetsGo,
                            PortOpensAgainAfterCloseAndStillAnswers,
                            LineSettingsAndModemLinesGoToTheOpenDevice,
                            OpenIsExclusiveAndAMissingPortIsNamedSo);

}  // namespace cardpush
