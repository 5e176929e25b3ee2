// The device layer's contract, written once and run on every backend: the
// POSIX layer natively (comm_posix_test.cpp), the system's own layer under
// Wine (win32/comm_win32_test.cpp). The serial component is written against
// these Win32 semantics.
//
// Each backend instantiates it with a Line of its own: a line to the
// controller simulator, which answers the presence query "S" with "S0_".
//
//   struct Line {
//       static constexpr const char* kMissingPort;  // a port name no device answers to
//       // Whether a wait cut short by a new mask reports success (the
//       // serial component reads only the mask).
//       static constexpr bool kCutShortWaitSucceeds;
//       Line();                          // starts or finds the simulator
//       std::string PortName() const;    // its port, as the serial port takes the name
//       std::string Why() const;         // why there is no line; empty: there is one
//   };
//
// The Lines: support/simulator_line.h (POSIX), win32/wine_setup.h (Wine).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/comm_api.h"

namespace cardpush::platform {

// A port's name as CreateFileA takes it: behind the device prefix.
inline std::string Win32DevicePath(const std::string& portName)
{
    return "\\\\.\\" + portName;
}

// Events, waits and opening a missing port: no line needed.
template <class Line>
class CommObjectsContract : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (HANDLE h : events_) {
            api_.CloseHandle(h);
        }
    }

    HANDLE NewEvent(bool manualReset, bool signalled)
    {
        events_.push_back(api_.CreateEventA(nullptr, manualReset, signalled, nullptr));
        return events_.back();
    }

    CommApi& api_ = SystemCommApi();
    std::vector<HANDLE> events_;
};

TYPED_TEST_SUITE_P(CommObjectsContract);

TYPED_TEST_P(CommObjectsContract, WaitForAnyGivesTheFirstSignalledAndResetsOnlyAutoResetEvents)
{
    CommApi& api = this->api_;
    const HANDLE manual = this->NewEvent(true, false);
    const HANDLE autoReset = this->NewEvent(false, true);
    const HANDLE both[] = {manual, autoReset};

    EXPECT_EQ(api.WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(api.WaitForMultipleObjects(2, both, FALSE, 0), WAIT_TIMEOUT);

    ASSERT_TRUE(api.SetEvent(manual));
    ASSERT_TRUE(api.SetEvent(autoReset));
    EXPECT_EQ(api.WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(api.WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(api.WaitForSingleObject(autoReset, 0), WAIT_OBJECT_0);
    EXPECT_EQ(api.WaitForSingleObject(autoReset, 0), WAIT_TIMEOUT);
}

TYPED_TEST_P(CommObjectsContract, WaitForAllTakesNothingUntilEveryEventIsSignalled)
{
    CommApi& api = this->api_;
    const HANDLE autoReset = this->NewEvent(false, true);
    const HANDLE manual = this->NewEvent(true, false);
    const HANDLE both[] = {autoReset, manual};

    EXPECT_EQ(api.WaitForMultipleObjects(2, both, TRUE, 10), WAIT_TIMEOUT);
    EXPECT_EQ(api.WaitForSingleObject(autoReset, 0), WAIT_OBJECT_0) << "consumed by a failed wait";

    ASSERT_TRUE(api.SetEvent(autoReset));
    ASSERT_TRUE(api.SetEvent(manual));
    EXPECT_EQ(api.WaitForMultipleObjects(2, both, TRUE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(api.WaitForSingleObject(autoReset, 0), WAIT_TIMEOUT);
    EXPECT_EQ(api.WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
}

TYPED_TEST_P(CommObjectsContract, AnEndlessWaitIsReleasedBySetEventFromAnotherThread)
{
    CommApi& api = this->api_;
    const HANDLE stop = this->NewEvent(true, false);
    const HANDLE other = this->NewEvent(true, false);
    const HANDLE both[] = {stop, other};
    DWORD result = WAIT_FAILED;
    std::thread waiter([&] { result = api.WaitForMultipleObjects(2, both, FALSE, INFINITE); });
    ASSERT_TRUE(api.SetEvent(other));
    waiter.join();
    EXPECT_EQ(result, WAIT_OBJECT_0 + 1);
}

TYPED_TEST_P(CommObjectsContract, BadWaitsFailWithTheirErrorCodes)
{
    CommApi& api = this->api_;
    const HANDLE event = this->NewEvent(true, true);
    const HANDLE closed = api.CreateEventA(nullptr, TRUE, TRUE, nullptr);
    ASSERT_TRUE(api.CloseHandle(closed));

    const HANDLE withClosed[] = {event, closed};
    EXPECT_EQ(api.WaitForMultipleObjects(2, withClosed, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(api.GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(api.SetEvent(closed));
    EXPECT_EQ(api.GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(api.WaitForMultipleObjects(0, withClosed, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(api.GetLastError(), ERROR_INVALID_PARAMETER);
}

TYPED_TEST_P(CommObjectsContract, MissingPortIsFileNotFound)
{
    const HANDLE device = this->api_.CreateFileA(Win32DevicePath(TypeParam::kMissingPort).c_str(),
                                                 GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                 OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    EXPECT_EQ(device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(this->api_.GetLastError(), ERROR_FILE_NOT_FOUND);
}

REGISTER_TYPED_TEST_SUITE_P(CommObjectsContract,
                            WaitForAnyGivesTheFirstSignalledAndResetsOnlyAutoResetEvents,
                            WaitForAllTakesNothingUntilEveryEventIsSignalled,
                            AnEndlessWaitIsReleasedBySetEventFromAnotherThread,
                            BadWaitsFailWithTheirErrorCodes, MissingPortIsFileNotFound);

// A device open on the line to the simulator.
template <class Line>
class CommLineContract : public ::testing::Test {
protected:
    void SetUp() override
    {
        line_ = std::make_unique<Line>();
        if (const std::string why = line_->Why(); !why.empty()) {
            GTEST_SKIP() << why;
        }
        device_ = api_.CreateFileA(Win32DevicePath(line_->PortName()).c_str(),
                                   GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OVERLAPPED, nullptr);
        ASSERT_NE(device_, INVALID_HANDLE_VALUE) << "error " << api_.GetLastError();
    }
    void TearDown() override
    {
        if (device_ != INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(api_.CloseHandle(device_));
        }
        for (HANDLE event : events_) {
            api_.CloseHandle(event);
        }
    }

    HANDLE NewEvent()
    {
        events_.push_back(api_.CreateEventA(nullptr, TRUE, FALSE, nullptr));
        return events_.back();
    }

    CommApi& api_ = SystemCommApi();
    std::unique_ptr<Line> line_;
    HANDLE device_ = INVALID_HANDLE_VALUE;
    std::vector<HANDLE> events_;
};

TYPED_TEST_SUITE_P(CommLineContract);

TYPED_TEST_P(CommLineContract, PresenceQueryIsAnsweredThroughAnEventWaitAndOverlappedTransfers)
{
    CommApi& api = this->api_;
    const HANDLE device = this->device_;
    ASSERT_TRUE(api.SetupComm(device, 2048, 2048));
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = 9600;
    dcb.fBinary = 1;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    ASSERT_TRUE(api.SetCommState(device, &dcb)) << "error " << api.GetLastError();
    // Reads return at once with what has arrived: the component's default.
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 1000};
    ASSERT_TRUE(api.SetCommTimeouts(device, &timeouts));
    ASSERT_TRUE(api.PurgeComm(device, PURGE_RXCLEAR | PURGE_TXCLEAR));
    ASSERT_TRUE(api.SetCommMask(device, EV_RXCHAR));

    OVERLAPPED write{};
    write.hEvent = this->NewEvent();
    DWORD written = 0;
    if (!api.WriteFile(device, "S", 1, &written, &write)) {
        ASSERT_EQ(api.GetLastError(), ERROR_IO_PENDING);
    }
    ASSERT_TRUE(api.GetOverlappedResult(device, &write, &written, TRUE));
    EXPECT_EQ(written, 1u);

    std::string received;
    OVERLAPPED wait{};
    wait.hEvent = this->NewEvent();
    while (received.size() < 3) {
        DWORD mask = 0;
        if (!api.WaitCommEvent(device, &mask, &wait)) {
            ASSERT_EQ(api.GetLastError(), ERROR_IO_PENDING);
            DWORD unused = 0;
            ASSERT_TRUE(api.GetOverlappedResult(device, &wait, &unused, TRUE));
        }
        EXPECT_EQ(mask, EV_RXCHAR);

        DWORD errors = 0;
        COMSTAT status{};
        ASSERT_TRUE(api.ClearCommError(device, &errors, &status));
        EXPECT_EQ(errors, 0u);
        if (status.cbInQue == 0) {
            continue;  // the bytes of this event were taken by the last read
        }
        std::string chunk(status.cbInQue, '\0');
        OVERLAPPED read{};
        read.hEvent = this->NewEvent();
        DWORD count = 0;
        if (!api.ReadFile(device, chunk.data(), status.cbInQue, &count, &read)) {
            ASSERT_EQ(api.GetLastError(), ERROR_IO_PENDING);
            ASSERT_TRUE(api.GetOverlappedResult(device, &read, &count, TRUE));
        }
        received.append(chunk.data(), count);
    }
    EXPECT_EQ(received, "S0_");
}

// A line without modem lines (a pseudo-terminal) takes every modem-line call
// and shows no input line on.
TYPED_TEST_P(CommLineContract, ModemLineCallsSucceedAndNoInputLineIsOn)
{
    for (DWORD function : {SETDTR, SETRTS, CLRDTR, CLRRTS}) {
        EXPECT_TRUE(this->api_.EscapeCommFunction(this->device_, function))
            << "function " << function << ", error " << this->api_.GetLastError();
    }
    DWORD status = 0xFFFFFFFFu;
    EXPECT_TRUE(this->api_.GetCommModemStatus(this->device_, &status))
        << "error " << this->api_.GetLastError();
    EXPECT_EQ(status, 0u);
}

// A wait cut short by a new mask completes, with an empty mask, before
// SetCommMask returns: the event thread ends on exactly that.
TYPED_TEST_P(CommLineContract, NewMaskCompletesAnOutstandingWaitWithAnEmptyMask)
{
    CommApi& api = this->api_;
    ASSERT_TRUE(api.SetCommMask(this->device_, EV_RXCHAR | EV_ERR | EV_BREAK));
    OVERLAPPED wait{};
    wait.hEvent = this->NewEvent();
    DWORD mask = 0xFFFFFFFFu;
    ASSERT_FALSE(api.WaitCommEvent(this->device_, &mask, &wait)) << "nothing to report yet";
    ASSERT_EQ(api.GetLastError(), ERROR_IO_PENDING);

    ASSERT_TRUE(api.SetCommMask(this->device_, 0));
    ASSERT_EQ(api.WaitForSingleObject(wait.hEvent, INFINITE), WAIT_OBJECT_0);
    DWORD unused = 0;
    const BOOL done = api.GetOverlappedResult(this->device_, &wait, &unused, FALSE);
    if (TypeParam::kCutShortWaitSucceeds) {
        EXPECT_TRUE(done) << "error " << api.GetLastError();
    }
    EXPECT_EQ(mask, 0u);
}

REGISTER_TYPED_TEST_SUITE_P(CommLineContract,
                            PresenceQueryIsAnsweredThroughAnEventWaitAndOverlappedTransfers,
                            ModemLineCallsSucceedAndNoInputLineIsOn,
                            NewMaskCompletesAnOutstandingWaitWithAnEmptyMask);

}  // namespace cardpush::platform
