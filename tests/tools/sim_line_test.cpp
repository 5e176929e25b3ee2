// The simulator program over its real pseudo-terminal, driven by a scripted client.
// Time limits here only guard against hangs; no test measures how long anything takes.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/sim_process.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace std::string_literals;
using cardpush::testing::ReadBytes;
using cardpush::testing::SimProcess;
using cardpush::testing::TempFolder;

constexpr auto kGuard = 10s;

struct Exit {
    int code = -1;
    std::string out;
    std::string err;
};

class SimLineTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        CloseClient();
        // A simulator that crashed or failed along the way does not exit cleanly.
        if (sim_ && sim_->Running()) {
            EXPECT_EQ(0, sim_->Stop()) << sim_->Messages();
        }
    }

    fs::path Card() const { return sim_->CardDir(); }

    // Starts the simulator on a card folder and wire log of its own, returns its device path.
    std::string Start(std::vector<std::string> args = {})
    {
        sim_ = std::make_unique<SimProcess>(std::move(args));
        return sim_->DevicePath();
    }

    void OpenClient(const std::string& path)
    {
        CloseClient();
        client_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(client_, 0) << path;
        termios tio{};
        tcgetattr(client_, &tio);
        cfmakeraw(&tio);
        tcsetattr(client_, TCSANOW, &tio);
    }

    void CloseClient()
    {
        if (client_ >= 0) {
            close(client_);
            client_ = -1;
        }
    }

    void Send(const std::string& bytes)
    {
        ASSERT_EQ(static_cast<ssize_t>(bytes.size()), write(client_, bytes.data(), bytes.size()));
    }

    // Reads until `count` bytes have come or the guard runs out.
    static std::string ReadFrom(int fd, std::size_t count, std::chrono::milliseconds guard)
    {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + guard;
        while (got.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd p{fd, POLLIN, 0};
            if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                break;
            }
            char buffer[4096];
            const ssize_t n = read(fd, buffer, std::min(sizeof buffer, count - got.size()));
            if (n <= 0) {
                break;
            }
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

    // One read of whatever is there once anything is.
    std::string ReadOnce()
    {
        pollfd p{client_, POLLIN, 0};
        char buffer[4096];
        if (poll(&p, 1, static_cast<int>(kGuard / 1ms)) <= 0) {
            return {};
        }
        const ssize_t n = read(client_, buffer, sizeof buffer);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    }

    std::string Read(std::size_t count) { return ReadFrom(client_, count, kGuard); }

    // Whatever arrives within `window`: for checking that nothing does.
    std::string ReadWithin(std::chrono::milliseconds window)
    {
        return ReadFrom(client_, 1 << 20, window);
    }

    std::string Ask(const std::string& command, std::size_t reply_size)
    {
        Send(command);
        return Read(reply_size);
    }

    // The wire log once it holds `size` bytes (or when the guard runs out).
    std::string WaitForWire(std::size_t size)
    {
        const auto end = std::chrono::steady_clock::now() + kGuard;
        std::string wire = sim_->WireLog();
        while (wire.size() < size && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(20ms);
            wire = sim_->WireLog();
        }
        return wire;
    }

    static Exit RunToExit(const std::vector<std::string>& args)
    {
        std::string command = CARDPUSH_SIM_PATH;
        for (const auto& a : args) {
            command += " '" + a + "'";
        }
        const fs::path out = fs::temp_directory_path() / ("sim-run-" + std::to_string(getpid()));
        const int status = std::system(
            (command + " >" + out.string() + ".out 2>" + out.string() + ".err").c_str());
        Exit result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadBytes(out.string() + ".out"),
                    ReadBytes(out.string() + ".err")};
        fs::remove(out.string() + ".out");
        fs::remove(out.string() + ".err");
        return result;
    }

    TempFolder dir_{"cardpush-sim-line"};  // for the test's own files
    std::unique_ptr<SimProcess> sim_;
    int client_ = -1;
};

TEST_F(SimLineTest, AnswersPresenceAndEveryIdentificationCommand)
{
    OpenClient(Start());
    EXPECT_EQ("S0_", Ask("S", 3));
    EXPECT_EQ("N12345_", Ask("N", 7));
    EXPECT_EQ("M-1.5_", Ask("M", 6));
    EXPECT_EQ("B12.5_", Ask("B", 6));
    EXPECT_EQ("D3_", Ask("D", 3));
    EXPECT_EQ("V72_", Ask("V", 4));
    EXPECT_EQ("R1_", Ask("R", 3));
    EXPECT_EQ("", ReadWithin(100ms));
}

TEST_F(SimLineTest, IdentificationValuesComeFromTheOptions)
{
    OpenClient(Start({"--serial", "A-77", "--min", "0,25", "--max", "99", "--accuracy", "-2",
                      "--firmware", "71", "--mode", "2.5"}));
    EXPECT_EQ("NA-77_M0,25_B99_D-2_V71_R2.5_", Ask("NMBDVR", 29));
}

TEST_F(SimLineTest, NonNumericFirmwareIsSentAsItStands)
{
    OpenClient(Start({"--firmware", "abc"}));
    EXPECT_EQ("Vabc_", Ask("V", 5));
}

TEST_F(SimLineTest, ListsNoneOneAndThreeCardFilesSortedAndPadded)
{
    OpenClient(Start());
    EXPECT_EQ("\x01", Ask(">", 1));

    std::ofstream(Card() / "JOB1") << "x";
    EXPECT_EQ("\x02JOB1    ", Ask(">", 9));

    std::ofstream(Card() / "A") << "";
    std::ofstream(Card() / "Z2345678") << "y";
    std::ofstream(Card() / "toolongname") << "not a card file";
    std::ofstream(Card() / ".hidden") << "not a card file";
    EXPECT_EQ(
        "\x04"
        "A       JOB1    Z2345678",
        Ask(">", 25));
    EXPECT_EQ("", ReadWithin(100ms));
}

TEST_F(SimLineTest, DeleteFrameRemovesOnlyThatCardFile)
{
    OpenClient(Start());
    sim_->PutCardFile("JOB1", "1");
    sim_->PutCardFile("JOB2", "2");
    Send("/JOB1\\");
    EXPECT_EQ("\x02JOB2    ", Ask(">", 9));
    EXPECT_FALSE(fs::exists(Card() / "JOB1"));
    EXPECT_EQ("2", ReadBytes(Card() / "JOB2"));
}

TEST_F(SimLineTest, UploadStoresTheExactBytesAndTheWireLogHoldsAllReceived)
{
    OpenClient(Start());
    // Line ends, a Ctrl-Z, Windows-1251 letters, a backslash and frame bytes inside the content.
    const std::string content = "10 \xCF\xF0\xE8\r\n20 <b\\/\x1A\r\n30 S_>\r\n"s;
    const std::string header = "<JOB7\\" + std::to_string(content.size()) + "\\";
    Send(header);
    Send(content.substr(0, 7));
    Send(content.substr(7));
    EXPECT_EQ("\x02JOB7    ", Ask(">", 9));
    EXPECT_EQ(content, ReadBytes(Card() / "JOB7"));
    EXPECT_EQ(header + content + ">", WaitForWire(header.size() + content.size() + 1));
}

TEST_F(SimLineTest, LateAnswerToPresenceKeepsTheOrderOfReplies)
{
    OpenClient(Start({"--s-delay", "400"}));
    Send("SN");
    EXPECT_EQ("S0_N12345_", Read(10));
}

TEST_F(SimLineTest, PresenceAnswerLongOverdueHasNotArrivedYet)
{
    OpenClient(Start({"--s-delay", "600000"}));
    Send("S");
    EXPECT_EQ("", ReadWithin(300ms));
}

TEST_F(SimLineTest, NoAnswerModeStaysSilentButStillRecords)
{
    OpenClient(Start({"--no-answer"}));
    Send("SNMBDVR>");
    EXPECT_EQ("", ReadWithin(300ms));
    EXPECT_EQ("SNMBDVR>", WaitForWire(8));
}

TEST_F(SimLineTest, SplitRepliesArriveInPiecesAndAssembleToTheWholeReply)
{
    OpenClient(Start({"--split", "2", "--split-delay", "300"}));
    Send("N");
    EXPECT_EQ("N1", ReadOnce());
    EXPECT_EQ("2345_", Read(5));
}

TEST_F(SimLineTest, WrongLetterFieldPrecedesEachIdentificationField)
{
    OpenClient(Start({"--wrong-letter"}));
    EXPECT_EQ("T9_N12345_", Ask("N", 10));
    EXPECT_EQ("T9_R1_", Ask("R", 6));
    EXPECT_EQ("S0_", Ask("S", 3));  // the presence check accepts any field: none is added
}

TEST_F(SimLineTest, ShortListingAnnouncesMoreNamesThanItSends)
{
    OpenClient(Start({"--short-listing", "2"}));
    sim_->PutCardFile("ONE", "1");
    EXPECT_EQ("\x04ONE     ", Ask(">", 9));
    EXPECT_EQ("", ReadWithin(200ms));
}

TEST_F(SimLineTest, PacedReadingStoresTheUploadWholeBeforeListing)
{
    // 300 baud: the 66 bytes below hold the line for over two seconds.
    OpenClient(Start({"--baud", "300"}));
    const std::string content = "10 aaaaaaaaaaaaaaaaaaaaaaaaa\r\n20 bbbbbbbbbbbbbbbbbbbbbbbbb\r\n";
    Send("<SLOW\\" + std::to_string(content.size()) + "\\" + content + ">");
    EXPECT_EQ("", ReadWithin(300ms));  // the listing request is still "on the line"
    EXPECT_EQ("\x02SLOW    ", Read(9));
    EXPECT_EQ(content, ReadBytes(Card() / "SLOW"));
}

TEST_F(SimLineTest, SurvivesCloseAndReopenAndLosesRepliesToAClosedPort)
{
    const std::string path = Start({"--s-delay", "200"});
    OpenClient(path);
    // The tool takes the port for itself; the next opener must still get in.
    ASSERT_EQ(0, ioctl(client_, TIOCEXCL));
    Send("S");
    CloseClient();
    std::this_thread::sleep_for(800ms);  // the answer falls due while nobody listens
    OpenClient(path);
    EXPECT_EQ("N12345_", Ask("N", 7));
    EXPECT_EQ("", ReadWithin(300ms));
}

TEST_F(SimLineTest, DroppedLineHangsUpAndComesBackBehindItsLinkWithTheCard)
{
    const fs::path link = dir_ / "ttyCARD";
    const std::string first =
        Start({"--link", link.string(), "--drop-pause", "3600000", "--serial-after-drop", "67890"});
    sim_->PutCardFile("JOB1", "x");
    OpenClient(link.string());
    EXPECT_EQ("S0_N12345_", Ask("SN", 10));

    sim_->CutLine();
    // As with an unplugged adapter: the open port hangs up, reads find the end, writes fail,
    // the device is gone.
    pollfd p{client_, POLLIN, 0};
    ASSERT_EQ(1, poll(&p, 1, 0));
    EXPECT_TRUE(p.revents & POLLHUP) << p.revents;
    char byte = 0;
    EXPECT_EQ(0, read(client_, &byte, 1));
    EXPECT_EQ(-1, write(client_, "S", 1));
    EXPECT_EQ(EIO, errno);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));

    sim_->RestoreLine();
    // The old port, still open, keeps its number: the line is back on another.
    EXPECT_NE(first, sim_->DevicePath());
    EXPECT_EQ(sim_->DevicePath(), fs::read_symlink(link).string());
    OpenClient(link.string());
    EXPECT_EQ("S0_", Ask("S", 3));
    EXPECT_EQ("\x02JOB1    ", Ask(">", 9));
    EXPECT_EQ("N67890_", Ask("N", 7));  // another controller on the port
}

TEST_F(SimLineTest, ByteCountDropCutsTheUploadAtThatByteOnce)
{
    const fs::path link = dir_ / "ttyCARD";
    const std::string sent = "<JOB7\\20\\10 aaaaaaaaaaaaaaa\r\n";
    Start({"--link", link.string(), "--drop-after-bytes", "12", "--drop-pause", "0"});
    OpenClient(link.string());
    Send(sent);
    sim_->WaitLineBack();
    EXPECT_EQ(sent.substr(0, 12), sim_->WireLog());  // nothing past the 12th byte was read

    // The cut upload is not stored, the new line starts between frames, and it stays up.
    OpenClient(link.string());
    EXPECT_EQ("S0_\x01", Ask("S>", 4));
    EXPECT_TRUE(sim_->CardFiles().empty());
}

TEST_F(SimLineTest, SilentControllerIgnoresWhatComesThenAnswersAgain)
{
    OpenClient(Start({"--s-delay", "600000"}));
    Send("S");
    WaitForWire(1);
    sim_->BeginSilence();  // the answer to S, still due, is lost
    Send("V");
    WaitForWire(2);
    sim_->EndSilence();
    // Neither V nor S is answered, and the lost answer holds nothing back.
    EXPECT_EQ("N12345_", Ask("N", 7));

    // A silence with a length ends by itself.
    OpenClient(Start({"--silent-for", "50"}));
    sim_->BeginSilence();
    sim_->WaitAnswering();
    EXPECT_EQ("S0_", Ask("S", 3));
}

TEST_F(SimLineTest, HelpDescribesEveryOptionAndBadOptionsExitWithTwo)
{
    const Exit help = RunToExit({"--help"});
    EXPECT_EQ(0, help.code);
    std::istringstream described(
        "--link --card-dir --wire-log --serial --min --max --accuracy --firmware --mode "
        "--s-delay --no-answer --split --split-delay --wrong-letter --short-listing --baud "
        "--frame-timeout --drop-after-bytes --drop-pause --silent-for --read-only-card "
        "--skip-reply --foreign-fields --serial-after-drop SIGUSR1 SIGUSR2");
    for (std::string option; described >> option;) {
        EXPECT_NE(std::string::npos, help.out.find(option)) << option;
    }
    const Exit bad = RunToExit({"--split", "zero"});
    EXPECT_EQ(2, bad.code);
    EXPECT_NE(std::string::npos, bad.err.find("--split")) << bad.err;
    EXPECT_EQ("", bad.out);
}

TEST_F(SimLineTest, LinkReplacesAStaleOneAndIsRemovedWhenStopped)
{
    const fs::path link = dir_ / "ttyCARD";
    fs::create_symlink("/dev/null-gone", link);
    const std::string path = Start({"--link", link.string()});
    EXPECT_EQ(path, fs::read_symlink(link).string());
    OpenClient(link.string());
    EXPECT_EQ("S0_", Ask("S", 3));
    CloseClient();
    EXPECT_EQ(0, sim_->Stop());
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST_F(SimLineTest, ExitsWithItsParentAndRemovesItsLink)
{
    // A shell in between plays the run script: it starts the simulator and ends.
    const fs::path link = dir_ / "ttyCARD";
    const std::string command =
        std::string(CARDPUSH_SIM_PATH) + " --exit-with-parent --card-dir '" + dir_.path().string() +
        "' --link '" + link.string() + "' >'" + (dir_ / "out").string() + "' 2>&1 & sleep 1";
    ASSERT_EQ(0, std::system(command.c_str()));
    // The simulator is gone once its link is: wait for that, with the guard.
    const auto end = std::chrono::steady_clock::now() + kGuard;
    while (fs::exists(fs::symlink_status(link)) && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << ReadBytes(dir_ / "out");
    EXPECT_NE(std::string::npos, ReadBytes(dir_ / "out").find("/dev/pts/"));
}

TEST_F(SimLineTest, LinkPathHoldingAFileIsRefused)
{
    const fs::path file = dir_ / "regular";
    std::ofstream(file) << "mine";
    const Exit run = RunToExit({"--card-dir", dir_.path().string(), "--link", file.string()});
    EXPECT_EQ(1, run.code);
    EXPECT_EQ("mine", ReadBytes(file));
}

}  // namespace
