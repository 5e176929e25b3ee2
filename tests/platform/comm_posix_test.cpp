// The POSIX device layer on real pseudo-terminals: the contract every backend
// keeps, against the controller simulator, and, with a peer on the other end,
// what else the serial component relies on from each call.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/comm_api.h"
#include "platform/comm_contract.h"
#include "platform/comm_posix_pty.h"
#include "platform/posix/device_path.h"
#include "support/simulator_line.h"
#include "support/temp_folder.h"

namespace cardpush::platform {

using cardpush::testing::SimulatorLine;

INSTANTIATE_TYPED_TEST_SUITE_P(PosixComm, CommObjectsContract, SimulatorLine);
INSTANTIATE_TYPED_TEST_SUITE_P(PosixComm, CommLineContract, SimulatorLine);

namespace {

using testing::AllByteValues;
using testing::EntriesIn;
using testing::kPatienceMs;
using testing::Overlapped;
using testing::PtyPeer;

class CommPosixTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (device_ != INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(api_.CloseHandle(device_));
        }
    }

    HANDLE OpenPath(const std::string& name)
    {
        return api_.CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    }

    // Opens the peer's device as the serial component does: 9600 8N1, no
    // flow control, the component's default time-outs unless given others.
    void OpenConfigured(COMMTIMEOUTS timeouts = {MAXDWORD, 0, 0, 100, 1000})
    {
        device_ = OpenPath("\\\\.\\" + peer_.path());
        ASSERT_NE(device_, INVALID_HANDLE_VALUE) << api_.GetLastError();
        ASSERT_TRUE(api_.SetupComm(device_, 2048, 2048));
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        dcb.BaudRate = 9600;
        dcb.ByteSize = 8;
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
        ASSERT_TRUE(api_.SetCommState(device_, &dcb));
        ASSERT_TRUE(api_.SetCommTimeouts(device_, &timeouts));
    }

    // The peer sends bytes; returns once their arrival has been reported.
    // The mask is set first: characters that came before it are no event.
    void SendAndAwait(std::string_view bytes)
    {
        ASSERT_TRUE(api_.SetCommMask(device_, EV_RXCHAR));
        peer_.Write(bytes);
        Overlapped wait(api_);
        DWORD mask = 0;
        if (!api_.WaitCommEvent(device_, &mask, wait.get())) {
            ASSERT_EQ(api_.GetLastError(), ERROR_IO_PENDING);
            ASSERT_TRUE(wait.Completes());
        }
        DWORD n = 0;
        ASSERT_TRUE(api_.GetOverlappedResult(device_, wait.get(), &n, FALSE));
        EXPECT_EQ(mask, EV_RXCHAR);
    }

    DWORD InQueue()
    {
        COMSTAT status{};
        DWORD errors = 0;
        EXPECT_TRUE(api_.ClearCommError(device_, &errors, &status));
        return status.cbInQue;
    }

    // Reads and waits for the read to complete; returns what it read.
    std::string Read(DWORD count, BOOL* ok = nullptr, DWORD* error = nullptr)
    {
        std::string buffer(count, '\0');
        Overlapped op(api_);
        DWORD n = 0;
        BOOL result = api_.ReadFile(device_, buffer.data(), count, &n, op.get());
        if (!result && api_.GetLastError() == ERROR_IO_PENDING) {
            EXPECT_TRUE(op.Completes());
            result = api_.GetOverlappedResult(device_, op.get(), &n, FALSE);
        }
        if (ok != nullptr) {
            *ok = result;
        }
        if (error != nullptr) {
            *error = api_.GetLastError();
        }
        buffer.resize(n);
        return buffer;
    }

    CommApi& api_ = SystemCommApi();
    PtyPeer peer_;
    HANDLE device_ = INVALID_HANDLE_VALUE;
};

TEST_F(CommPosixTest, SecondOpenOfAHeldDeviceIsAccessDeniedInThisProcessAndAnother)
{
    OpenConfigured();

    EXPECT_EQ(OpenPath(peer_.path()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(api_.GetLastError(), ERROR_ACCESS_DENIED);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const HANDLE h = OpenPath(peer_.path());
        ::_exit(h == INVALID_HANDLE_VALUE && api_.GetLastError() == ERROR_ACCESS_DENIED ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the other process got the device";

    // Closing releases it.
    ASSERT_TRUE(api_.CloseHandle(device_));
    device_ = OpenPath(peer_.path());
    EXPECT_NE(device_, INVALID_HANDLE_VALUE) << api_.GetLastError();
}

TEST_F(CommPosixTest, MissingDevicesAndNonTerminalsAreFileNotFound)
{
    for (const char* name : {"\\\\.\\COM1", "/dev/cardpush-no-such-port", "/etc/hostname", "",
                             "\\\\.\\", "../../etc/hostname"}) {
        EXPECT_EQ(OpenPath(name), INVALID_HANDLE_VALUE) << name;
        EXPECT_EQ(api_.GetLastError(), ERROR_FILE_NOT_FOUND) << name;
    }
}

// What a port search must leave alone is refused as missing before anything
// opens it: a character device that is no terminal (a watchdog would arm on
// the open), and a terminal that is another process's, also through a link.
TEST_F(CommPosixTest, DevicesThatAreNoFreeTerminalAreRefusedAsMissingUnopened)
{
    cardpush::testing::TempFolder folder("cardpush-nodes");
    std::string device = (folder.path() / "watchdog").string();
    if (::mknod(device.c_str(), S_IFCHR | 0600, ::makedev(1, 7)) != 0) {
        device = "/dev/full";  // the same device, where nodes can't be made
    }
    testing::ControllingTerminal terminal;
    const std::string link = (folder.path() / "terminal").string();
    ASSERT_EQ(::symlink(terminal.path().c_str(), link.c_str()), 0);
    const std::string settings = testing::LineSettings(terminal.peer().fd());

    for (const auto& [name, node] :
         {std::pair{device, device}, std::pair{terminal.path(), terminal.path()},
          std::pair{"\\\\.\\" + link, terminal.path()}}) {
        testing::OpenWatch watch(node);
        EXPECT_EQ(OpenPath(name), INVALID_HANDLE_VALUE) << name;
        EXPECT_EQ(api_.GetLastError(), ERROR_FILE_NOT_FOUND) << name;
        EXPECT_EQ(watch.Opens(), 0) << name;
    }
    EXPECT_EQ(testing::LineSettings(terminal.peer().fd()), settings);
}

// A pseudo-terminal that another program uses as a terminal, at 115200 with
// line editing and echo, gets those back when the port closes.
TEST_F(CommPosixTest, ClosingPutsBackTheTerminalSettingsFoundAtOpen)
{
    termios t{};
    ASSERT_EQ(::tcgetattr(peer_.fd(), &t), 0);
    ::cfsetspeed(&t, B115200);
    t.c_lflag |= ICANON | ECHO | ISIG;
    t.c_oflag |= OPOST | ONLCR;
    t.c_cflag &= ~HUPCL;
    ASSERT_EQ(::tcsetattr(peer_.fd(), TCSANOW, &t), 0);
    const std::string found = testing::LineSettings(peer_.fd());

    OpenConfigured();
    ASSERT_NE(testing::LineSettings(peer_.fd()), found);
    ASSERT_TRUE(api_.CloseHandle(device_));
    device_ = INVALID_HANDLE_VALUE;
    EXPECT_EQ(testing::LineSettings(peer_.fd()), found);
}

// A user outside the device's group is refused as for a port in use, as on
// Windows; the layer tells which of the two it was. Root has every right, so
// the refusal is seen from a child that has given them up.
TEST_F(CommPosixTest, DeviceThisUserMayNotOpenIsAccessDeniedAndNamesItsGroup)
{
    EXPECT_EQ(api_.MissingAccess(peer_.path().c_str()), std::nullopt);
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root, to give up the rights in a child";
    }
    struct stat node {};
    ASSERT_EQ(::stat(peer_.path().c_str(), &node), 0);
    ASSERT_EQ(::chmod(peer_.path().c_str(), 0660), 0);
    const group* owner = ::getgrgid(node.st_gid);
    const std::string groupName = owner != nullptr ? owner->gr_name : std::to_string(node.st_gid);
    constexpr uid_t kNobody = 65534;

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
            ::_exit(2);
        }
        const bool denied = OpenPath(peer_.path()) == INVALID_HANDLE_VALUE &&
                            api_.GetLastError() == ERROR_ACCESS_DENIED;
        const bool named = api_.MissingAccess(peer_.path().c_str()) == groupName;
        ::_exit((denied ? 0 : 4) | (named ? 0 : 8));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), 2) << "could not give up the rights";
    EXPECT_EQ(WEXITSTATUS(status) & 4, 0) << "the open was not refused as access denied";
    EXPECT_EQ(WEXITSTATUS(status) & 8, 0) << "the group " << groupName << " was not named";
}

TEST_F(CommPosixTest, BareNameAfterTheDevicePrefixEndsAtItsFirstNul)
{
    // "/dev/pts/N" is reached as the bare name "pts/N"; the NUL cuts "junk".
    const std::string bare = peer_.path().substr(std::string("/dev/").size());
    const std::string name = "\\\\.\\" + bare + std::string(1, '\0') + "junk";
    device_ = OpenPath(name);
    ASSERT_NE(device_, INVALID_HANDLE_VALUE) << api_.GetLastError();

    EXPECT_EQ(DevicePathForPortName("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(DevicePathForPortName("\\\\.\\ttyS1"), "/dev/ttyS1");
    EXPECT_EQ(DevicePathForPortName(std::string_view("ttyACM0\0x", 9)), "/dev/ttyACM0");
    EXPECT_EQ(DevicePathForPortName("\\\\.\\/tmp/sim-tty"), "/tmp/sim-tty");
    EXPECT_EQ(DevicePathForPortName("pts/../../etc/passwd"), "");
    EXPECT_EQ(DevicePathForPortName(std::string_view("\0ttyS0", 6)), "");
}

TEST_F(CommPosixTest, EveryByteValuePassesUnchangedBothWays)
{
    OpenConfigured({0, 0, 0, 100, 1000});  // reads wait for all they ask
    const std::string bytes = AllByteValues();

    Overlapped write(api_);
    DWORD written = 0;
    if (!api_.WriteFile(device_, bytes.data(), 256, &written, write.get())) {
        ASSERT_EQ(api_.GetLastError(), ERROR_IO_PENDING);
    }
    ASSERT_TRUE(api_.GetOverlappedResult(device_, write.get(), &written, TRUE));
    EXPECT_EQ(written, 256u);
    EXPECT_EQ(peer_.Read(256), bytes);

    peer_.Write(bytes);
    EXPECT_EQ(Read(256), bytes);
}

TEST_F(CommPosixTest, DefaultTimeoutsReadAtOnceWhatHasArrivedEvenNothing)
{
    OpenConfigured();
    char buffer[10];
    Overlapped op(api_);
    DWORD n = 99;
    // Nothing there: done at once, zero bytes, the event set.
    ASSERT_TRUE(api_.ReadFile(device_, buffer, sizeof buffer, &n, op.get()));
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(op.Signalled());

    SendAndAwait("abc");
    EXPECT_EQ(InQueue(), 3u);
    EXPECT_EQ(Read(10), "abc");
    EXPECT_EQ(InQueue(), 0u);
}

TEST_F(CommPosixTest, ReadTimeoutsEndAReadWithTheBytesSoFar)
{
    // Total time-out: waits for ten, gets two.
    OpenConfigured({0, 0, 100, 0, 0});
    peer_.Write("ab");
    EXPECT_EQ(Read(10), "ab");

    // Interval time-out: the read ends when the line falls silent.
    COMMTIMEOUTS interval{20, 0, 0, 0, 0};
    ASSERT_TRUE(api_.SetCommTimeouts(device_, &interval));
    peer_.Write("xyz");
    EXPECT_EQ(Read(10), "xyz");

    // Interval and multiplier MAXDWORD: the first bytes end the wait.
    COMMTIMEOUTS first{MAXDWORD, MAXDWORD, 60000, 0, 0};
    ASSERT_TRUE(api_.SetCommTimeouts(device_, &first));
    std::string buffer(10, '\0');
    Overlapped op(api_);
    DWORD n = 0;
    ASSERT_FALSE(api_.ReadFile(device_, buffer.data(), 10, &n, op.get()));
    ASSERT_EQ(api_.GetLastError(), ERROR_IO_PENDING);
    peer_.Write("q");
    ASSERT_TRUE(op.Completes());
    ASSERT_TRUE(api_.GetOverlappedResult(device_, op.get(), &n, FALSE));
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(buffer[0], 'q');

    COMMTIMEOUTS refused{MAXDWORD, MAXDWORD, MAXDWORD, 0, 0};
    EXPECT_FALSE(api_.SetCommTimeouts(device_, &refused));
    EXPECT_EQ(api_.GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(CommPosixTest, WriteToAPeerThatNeverReadsEndsWithTheCountWrittenWhenTimeRunsOut)
{
    OpenConfigured({MAXDWORD, 0, 0, 0, 200});
    const std::string big(1 << 20, 'w');
    Overlapped op(api_);
    DWORD n = 0;
    ASSERT_FALSE(api_.WriteFile(device_, big.data(), static_cast<DWORD>(big.size()), &n, op.get()));
    ASSERT_EQ(api_.GetLastError(), ERROR_IO_PENDING);
    ASSERT_TRUE(api_.GetOverlappedResult(device_, op.get(), &n, TRUE));
    EXPECT_GT(n, 0u);
    EXPECT_LT(n, big.size());
}

TEST_F(CommPosixTest, WaitCommEventWakesForReceivedCharactersAndTransmitterEmpty)
{
    OpenConfigured();
    ASSERT_TRUE(api_.SetCommMask(device_, EV_RXCHAR | EV_TXEMPTY | EV_ERR | EV_CTS));
    Overlapped wait(api_);
    DWORD mask = 0;
    ASSERT_FALSE(api_.WaitCommEvent(device_, &mask, wait.get()));
    ASSERT_EQ(api_.GetLastError(), ERROR_IO_PENDING);
    EXPECT_FALSE(wait.Signalled());

    // A second wait while one is pending is refused, as on Windows.
    Overlapped second(api_);
    DWORD secondMask = 0;
    EXPECT_FALSE(api_.WaitCommEvent(device_, &secondMask, second.get()));
    EXPECT_EQ(api_.GetLastError(), ERROR_INVALID_PARAMETER);

    peer_.Write("z");
    ASSERT_TRUE(wait.Completes());
    DWORD n = 0;
    ASSERT_TRUE(api_.GetOverlappedResult(device_, wait.get(), &n, FALSE));
    EXPECT_EQ(mask, EV_RXCHAR);
    EXPECT_EQ(Read(1), "z");

    // A completed write is reported once its bytes have left.
    Overlapped write(api_);
    DWORD written = 0;
    if (!api_.WriteFile(device_, "out", 3, &written, write.get())) {
        ASSERT_TRUE(api_.GetOverlappedResult(device_, write.get(), &written, TRUE));
    }
    if (!api_.WaitCommEvent(device_, &mask, wait.get())) {
        ASSERT_EQ(api_.GetLastError(), ERROR_IO_PENDING);
        ASSERT_TRUE(wait.Completes());
        ASSERT_TRUE(api_.GetOverlappedResult(device_, wait.get(), &n, FALSE));
    }
    EXPECT_EQ(mask, EV_TXEMPTY);
    EXPECT_EQ(peer_.Read(3), "out");
}

TEST_F(CommPosixTest, WaitWithNoEventsWatchedIsRefused)
{
    OpenConfigured();
    ASSERT_TRUE(api_.SetCommMask(device_, 0));
    Overlapped wait(api_);
    DWORD mask = 0xFFFF;
    EXPECT_FALSE(api_.WaitCommEvent(device_, &mask, wait.get()));
    EXPECT_EQ(api_.GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(CommPosixTest, PurgeAbortsAPendingReadAndDiscardsReceivedInput)
{
    OpenConfigured({0, 0, 0, 0, 0});  // a read waits for all it asks
    char buffer[4];
    Overlapped op(api_);
    DWORD n = 0;
    ASSERT_FALSE(api_.ReadFile(device_, buffer, sizeof buffer, &n, op.get()));
    ASSERT_EQ(api_.GetLastError(), ERROR_IO_PENDING);
    EXPECT_FALSE(api_.GetOverlappedResult(device_, op.get(), &n, FALSE));
    EXPECT_EQ(api_.GetLastError(), ERROR_IO_INCOMPLETE);

    ASSERT_TRUE(api_.PurgeComm(device_, PURGE_TXABORT | PURGE_RXABORT));
    EXPECT_FALSE(api_.GetOverlappedResult(device_, op.get(), &n, TRUE));
    EXPECT_EQ(api_.GetLastError(), ERROR_OPERATION_ABORTED);

    SendAndAwait("junk");
    ASSERT_TRUE(api_.PurgeComm(device_, PURGE_TXCLEAR | PURGE_RXCLEAR));
    EXPECT_EQ(InQueue(), 0u);
}

TEST_F(CommPosixTest, InputBeyondTheQueueSizeIsKeptUntilReadAndNothingIsLost)
{
    OpenConfigured({0, 0, 0, 0, 0});  // a read waits for all it asks
    ASSERT_TRUE(api_.SetupComm(device_, 64, 64));
    ASSERT_TRUE(api_.SetCommMask(device_, EV_RX80FULL));
    Overlapped wait(api_);
    DWORD mask = 0;
    ASSERT_FALSE(api_.WaitCommEvent(device_, &mask, wait.get()));

    std::string bytes;
    for (int i = 0; i < 1000; ++i) {
        bytes.push_back(static_cast<char>(i * 7));
    }
    peer_.Write(bytes);
    ASSERT_TRUE(wait.Completes());
    EXPECT_EQ(mask, EV_RX80FULL);
    EXPECT_EQ(Read(1000), bytes);
}

TEST_F(CommPosixTest, LineSettingsAcceptEveryFrameAndRateAndRefuseImpossibleOnes)
{
    OpenConfigured();
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    for (DWORD rate : {110u, 14400u, 56000u, 128000u, 256000u}) {
        for (BYTE parity = NOPARITY; parity <= SPACEPARITY; ++parity) {
            dcb.BaudRate = rate;
            dcb.ByteSize = static_cast<BYTE>(5 + parity % 4);
            dcb.Parity = parity;
            dcb.StopBits = static_cast<BYTE>(parity % 3);
            EXPECT_TRUE(api_.SetCommState(device_, &dcb)) << rate << " " << int{parity};
        }
    }
    dcb.ByteSize = 9;
    EXPECT_FALSE(api_.SetCommState(device_, &dcb));
    EXPECT_EQ(api_.GetLastError(), ERROR_INVALID_PARAMETER);

    // Still raw: bytes that a terminal would translate pass unchanged.
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.BaudRate = 9600;
    ASSERT_TRUE(api_.SetCommState(device_, &dcb));
    SendAndAwait("\r\n\x03\x11\x7f");
    EXPECT_EQ(Read(5), "\r\n\x03\x11\x7f");
}

TEST_F(CommPosixTest, ClosingTheHandleAbortsPendingOperationsAndFreesTheDevice)
{
    OpenConfigured({0, 0, 0, 0, 0});
    ASSERT_TRUE(api_.SetCommMask(device_, EV_RXCHAR));
    char buffer[8];
    Overlapped read(api_);
    Overlapped wait(api_);
    DWORD n = 0;
    DWORD mask = 0;
    ASSERT_FALSE(api_.ReadFile(device_, buffer, sizeof buffer, &n, read.get()));
    ASSERT_FALSE(api_.WaitCommEvent(device_, &mask, wait.get()));

    // Someone blocked on the read's event is released too.
    std::atomic<DWORD> woken{WAIT_FAILED};
    std::thread waiter([&] { woken = api_.WaitForSingleObject(read.event(), INFINITE); });
    ASSERT_TRUE(api_.CloseHandle(device_));
    const HANDLE closed = device_;
    device_ = INVALID_HANDLE_VALUE;
    waiter.join();
    EXPECT_EQ(woken.load(), WAIT_OBJECT_0);
    EXPECT_TRUE(wait.Signalled());
    EXPECT_EQ(read.get()->Internal, ERROR_OPERATION_ABORTED);
    EXPECT_EQ(wait.get()->Internal, ERROR_OPERATION_ABORTED);

    EXPECT_FALSE(api_.ReadFile(closed, buffer, sizeof buffer, &n, read.get()));
    EXPECT_EQ(api_.GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(api_.CloseHandle(closed));
    EXPECT_EQ(api_.GetLastError(), ERROR_INVALID_HANDLE);

    device_ = OpenPath(peer_.path());
    EXPECT_NE(device_, INVALID_HANDLE_VALUE) << api_.GetLastError();
}

TEST_F(CommPosixTest, HangupFailsTheWaitOnceAndThenRefusesWithoutSignalling)
{
    OpenConfigured();
    ASSERT_TRUE(api_.SetCommMask(device_, EV_RXCHAR));
    Overlapped wait(api_);
    DWORD mask = 0;
    ASSERT_FALSE(api_.WaitCommEvent(device_, &mask, wait.get()));

    peer_.Hangup();
    ASSERT_TRUE(wait.Completes());
    DWORD n = 0;
    EXPECT_FALSE(api_.GetOverlappedResult(device_, wait.get(), &n, FALSE));
    EXPECT_EQ(api_.GetLastError(), ERROR_DEVICE_REMOVED);

    // An event thread that waits again must block, not spin.
    EXPECT_FALSE(api_.WaitCommEvent(device_, &mask, wait.get()));
    EXPECT_EQ(api_.GetLastError(), ERROR_DEVICE_REMOVED);
    EXPECT_FALSE(wait.Signalled());

    BOOL ok = TRUE;
    DWORD error = 0;
    Read(4, &ok, &error);
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, ERROR_DEVICE_REMOVED);
}

TEST_F(CommPosixTest, ThousandOpenCloseCyclesLeaveDescriptorsAndThreadsFlat)
{
    // One cycle first, so that lazily made process state is not counted.
    OpenConfigured();
    ASSERT_TRUE(api_.CloseHandle(device_));
    device_ = INVALID_HANDLE_VALUE;
    const std::size_t fds = EntriesIn("/proc/self/fd");
    const std::size_t threads = EntriesIn("/proc/self/task");

    for (int i = 0; i < 1000; ++i) {
        OpenConfigured();
        ASSERT_TRUE(api_.SetCommMask(device_, 0x05BD));
        ASSERT_TRUE(api_.CloseHandle(device_));
        device_ = INVALID_HANDLE_VALUE;
    }
    EXPECT_EQ(EntriesIn("/proc/self/fd"), fds);
    EXPECT_EQ(EntriesIn("/proc/self/task"), threads);
}

}  // namespace
}  // namespace cardpush::platform
