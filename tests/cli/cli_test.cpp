// The built cardpush-cli as a script runs it, against the controller
// simulator on a pseudo-terminal (named with --port, so the machine's own
// ports are never looked at): what reaches the card, what stays on the
// computer, what the journal and the exit status say.
//
// Each run settles 3 s on the port before it asks for the controller, as
// the tool does with a real one. Waits for the other processes watch their
// files; their guards only catch hangs.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/sim_process.h"
#include "support/temp_folder.h"

namespace cardpush::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ChildProcess;
using testing::Frames;
using testing::ReadBytes;
using testing::SimProcess;
using testing::TempFolder;
using testing::UploadHeader;

constexpr auto kHangGuard = 90s;
constexpr auto kPoll = 20ms;

// The exit statuses that --help lists.
constexpr int kDone = 0;
constexpr int kNoController = 3;
constexpr int kFirmwareRefuses = 4;
constexpr int kRejected = 5;
constexpr int kTransferFailed = 6;
constexpr int kStopped = 7;

void WriteFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// Polls until done() holds; false when the guard ran out.
bool Eventually(const std::function<bool()>& done)
{
    const auto end = std::chrono::steady_clock::now() + kHangGuard;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(kPoll);
    }
    return true;
}

class CliTest : public ::testing::Test {
protected:
    void StartSimulator(std::vector<std::string> options = {})
    {
        sim_ = std::make_unique<SimProcess>(std::move(options));
        fs::create_directory(jobs_);
    }
    // With the test's settings file and, unless the arguments name one, the
    // simulator's port.
    std::unique_ptr<ChildProcess> Start(std::vector<std::string> arguments)
    {
        if (std::find(arguments.begin(), arguments.end(), "--port") == arguments.end()) {
            arguments.insert(arguments.begin(), {"--port", sim_->DevicePath()});
        }
        arguments.insert(arguments.begin(),
                         {"--settings", (folder_.path() / "nastr.dat").string()});
        arguments.insert(arguments.begin(), CARDPUSH_CLI);
        return std::make_unique<ChildProcess>(arguments, folder_.path());
    }
    int Run(std::vector<std::string> arguments)
    {
        run_ = Start(std::move(arguments));
        return run_->Wait(kHangGuard);
    }
    std::string Journal() const { return ReadBytes(folder_.path() / "cardpush-journal.csv"); }
    // The controller has been asked for its listing: the tool is ready.
    bool Listed() const { return sim_->WireLog().find('>') != std::string::npos; }

    TempFolder folder_;
    fs::path jobs_ = folder_.path() / "jobs";
    std::unique_ptr<SimProcess> sim_;
    std::unique_ptr<ChildProcess> run_;
};

// A job file leaves the computer only once the card's listing shows it.
TEST_F(CliTest, UploadDeletesAJobFileOnlyWhenTheListingShowsIt)
{
    struct Case {
        const char* name;
        std::vector<std::string> simOptions;
        int status;
        bool fileStays;
    };
    const Case cases[] = {
        {"listed", {}, kDone, false},
        {"card keeps nothing", {"--read-only-card"}, kTransferFailed, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartSimulator(c.simOptions);
        const fs::path job = jobs_ / "деталь.txt";
        WriteFile(job, "10 X\r\n20.5 Y\r\n");

        EXPECT_EQ(c.status, Run({"--json", "upload", "--delete-after", job.string()}))
            << run_->Errors();
        EXPECT_EQ(c.fileStays, fs::exists(job));
        // Header and lines, then the listing that decides.
        const std::string wire = sim_->WireLog();
        const auto header = wire.find(UploadHeader("DETAL", 14));
        ASSERT_NE(std::string::npos, header) << wire;
        EXPECT_NE(std::string::npos, wire.find(Frames({"10 X", "20.5 Y"}) + ">", header));

        // Every line is one JSON object; the last one tells the status.
        std::istringstream lines(run_->Output());
        nlohmann::json last;
        for (std::string line; std::getline(lines, line);) {
            ASSERT_NO_THROW(last = nlohmann::json::parse(line)) << line;
        }
        EXPECT_EQ("exit", last["type"]);
        EXPECT_EQ(c.status, last["status"]);
        // The journal's line of the local delete says whether it was done.
        std::istringstream journal(Journal());
        std::string localDelete;
        for (std::string line; std::getline(journal, line);) {
            if (line.find(",local-delete,") != std::string::npos) {
                localDelete = line;
            }
        }
        EXPECT_EQ(!c.fileStays, localDelete.find(",ok,command-line") != std::string::npos)
            << Journal();
        fs::remove_all(jobs_);
        fs::remove(folder_.path() / "cardpush-journal.csv");
    }
}

// What the other commands find and do, one run each on the same controller.
TEST_F(CliTest, CommandsSayWhatTheyFound)
{
    StartSimulator();
    sim_->PutCardFile("JOB1", "1 X\r\n");
    const fs::path notAPort = folder_.path() / "not-a-port";
    WriteFile(notAPort, "");
    struct Case {
        std::vector<std::string> arguments;
        int status;
        const char* output;  // in the standard output, or else the error
    };
    const Case cases[] = {
        {{"--json", "ports"}, kDone, R"("outcome":"answered")"},
        {{"--json", "info"}, kDone, R"("firmware":"72")"},
        // Letter case ignored; a name the card lacks is refused and said.
        {{"delete", "job1", "GONE"}, kRejected, "На карте памяти нет файла GONE"},
        {{"--port", notAPort.string(), "list"}, kNoController, "не последовательный порт"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.back());
        EXPECT_EQ(c.status, Run(c.arguments)) << run_->Errors();
        EXPECT_NE(std::string::npos, (run_->Output() + run_->Errors()).find(c.output))
            << run_->Output() << run_->Errors();
    }
    EXPECT_EQ(std::vector<std::string>{}, sim_->CardFiles());
}

// A job file with a line the controller would choke on, or a controller
// whose firmware takes no card commands: nothing goes on the wire.
TEST_F(CliTest, RefusedUploadsSendNothing)
{
    struct Case {
        const char* name;
        std::vector<std::string> simOptions;
        const char* content;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {"bad line", {}, "10 X\r\n1a Y\r\n", kRejected, "Ошибка в файле"},
        {"firmware 71",
         {"--firmware", "71"},
         "10 X\r\n",
         kFirmwareRefuses,
         "версия прошивки не поддерживает загрузку"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartSimulator(c.simOptions);
        const fs::path job = jobs_ / "a.txt";
        WriteFile(job, c.content);

        EXPECT_EQ(c.status, Run({"upload", "--delete-after", jobs_.string()}));
        EXPECT_NE(std::string::npos, run_->Errors().find(c.message)) << run_->Errors();
        EXPECT_EQ(std::string::npos, sim_->WireLog().find('<')) << sim_->WireLog();
        EXPECT_TRUE(fs::exists(job));
        fs::remove_all(jobs_);
    }
}

// Ctrl-C while the first of three files goes out: that file is finished and
// proven, the others stay on the computer, unsent.
TEST_F(CliTest, InterruptStopsAfterTheFileBeingSent)
{
    // Files larger than what the pseudo-terminal holds, on a line that
    // reads 11.5 KB/s: the tool is still writing the first when the
    // simulator reads its header.
    StartSimulator({"--baud", "115200"});
    std::string content;
    for (int i = 0; i < 4000; ++i) {
        content += std::to_string(i) + " STEP\r\n";
    }
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        WriteFile(jobs_ / name, content);
    }
    auto run = Start({"upload", "--delete-after", jobs_.string()});
    ASSERT_TRUE(Eventually([&] { return sim_->WireLog().find('<') != std::string::npos; }));
    run->Signal(SIGINT);

    EXPECT_EQ(kStopped, run->Wait(kHangGuard)) << run->Errors();
    const auto files = sim_->CardFiles();
    ASSERT_EQ(1u, files.size());
    EXPECT_EQ(content, ReadBytes(sim_->CardDir() / files.front()));
    int left = 0;
    for (const auto& entry : fs::directory_iterator(jobs_)) {
        (void)entry;
        ++left;
    }
    EXPECT_EQ(2, left);
    const std::string wire = sim_->WireLog();
    EXPECT_EQ(wire.find('<'), wire.rfind('<')) << "one upload only";
}

// A job file written slowly into the watched folder goes once, whole.
TEST_F(CliTest, WatchSendsAFileBeingWrittenOnceItIsWhole)
{
    StartSimulator();
    auto run = Start({"watch", "--delete-after", jobs_.string()});
    ASSERT_TRUE(Eventually([&] { return Listed(); }));

    const fs::path job = jobs_ / "slow.txt";
    std::string content;
    {
        std::ofstream file(job, std::ios::binary);
        for (int i = 0; i < 6; ++i) {
            const std::string line = std::to_string(i) + " PART\r\n";
            file << line << std::flush;
            content += line;
            std::this_thread::sleep_for(300ms);
        }
    }
    ASSERT_TRUE(Eventually([&] { return !fs::exists(job); })) << run->Errors();
    run->Signal(SIGINT);

    EXPECT_EQ(kStopped, run->Wait(kHangGuard));
    EXPECT_EQ(std::vector<std::string>{"SLOW"}, sim_->CardFiles());
    EXPECT_EQ(content, ReadBytes(sim_->CardDir() / "SLOW"));
    const std::string wire = sim_->WireLog();
    EXPECT_EQ(wire.find('<'), wire.rfind('<')) << wire;
}

}  // namespace
}  // namespace cardpush::test
