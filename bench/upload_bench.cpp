// One large job file through the whole stack: the card commands read,
// validate and frame it, the link writes the frames through the serial port
// and the POSIX device layer to the controller simulator, and a listing
// shows it stored. Run twice: with the simulator reading as fast as bytes
// come, and with it paced to a 115200 baud line. Prints the throughput and
// its ratio to what the line carries (10 bits a byte; unpaced, the port's
// own 9600 baud).
// Usage: cardpush_bench_upload [lines, default 50000]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "bench_util.h"
#include "jobs/card_commands.h"
#include "link/protocol.h"
#include "platform/cp1251.h"
#include "support/link_wait.h"

using namespace std::chrono_literals;
using cardpush::CardCommands;
using cardpush::CardCommandsHost;
using cardpush::LinkSession;
using cardpush::ProgressFn;
using cardpush::UploadProgress;
using cardpush::bench::BenchLink;
using cardpush::bench::CpuMeter;
using cardpush::bench::Report;

namespace {

namespace fs = std::filesystem;

const LinkSession::Timing kQuick{.settle = 10ms, .check = 20ms, .checks = 20};
const std::string kJobName = "BIGJOB.txt";
const std::string kCardName = "BIGJOB";

// The card commands' view of a window that has the one job file selected,
// shows no progress and answers every message at once.
class BenchHost : public CardCommandsHost {
public:
    explicit BenchHost(fs::path folder) : folder_(std::move(folder)) {}

    fs::path SourceFolder() const override { return folder_; }
    bool DeleteJobFilesAfterUpload() override { return false; }
    bool DeleteCardFilesBeforeUpload() override { return false; }
    std::vector<std::string> CardNames() override { return {}; }
    std::optional<std::string> SelectedCardName() override { return std::nullopt; }
    std::optional<fs::path> SelectedJobFile() override { return kJobName; }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void AddLogLine(const std::string&) override {}
    void RefreshLocalList() override {}
    void RunWithProgress(const UploadProgress&,
                         const std::function<void(const ProgressFn&)>& send) override
    {
        send([](const UploadProgress&) {});
    }

    std::vector<std::string> messages;

private:
    fs::path folder_;
};

// Lines as job files hold them: a size field, then the rest.
std::uint64_t WriteJob(const fs::path& path, int lines)
{
    std::ofstream out(path, std::ios::binary);
    std::uint64_t bytes = 0;
    for (int i = 0; i < lines; ++i) {
        const std::string line = std::to_string(1000 + i % 9000) + ".5 L" + std::to_string(i) +
                                 " W" + std::to_string(i % 70) + "\r\n";
        out << line;
        bytes += line.size();
    }
    return bytes;
}

// Uploads the job file to a fresh simulator; false when it was not stored.
bool Run(const std::string& what, const std::vector<std::string>& simOptions, int baud,
         const fs::path& folder, std::uint64_t bytes)
{
    BenchLink link(simOptions, kQuick);
    if (!link.WaitIdle()) {
        std::fprintf(stderr, "the link did not connect: %s\n", link.sim.Messages().c_str());
        return false;
    }
    BenchHost host(folder);
    CardCommands commands(*link.session, host);
    const std::uint64_t lineBytesPerSecond =
        baud > 0 ? static_cast<std::uint64_t>(baud) / 10 : link.session->LineBytesPerSecond();

    CpuMeter meter;
    commands.UploadSelected();
    const double written = meter.WallSeconds();
    // The listing is answered only after every byte before it was taken.
    const bool stored = cardpush::testing::ServeUntil(
        [&] {
            const auto names = link.host.CardList();
            return link.session->CardCommandsAllowed() && names.size() == 1;
        },
        30min);
    if (!stored || !host.messages.empty()) {
        std::fprintf(stderr, "%s: the upload was not stored: %s\n", what.c_str(),
                     link.sim.Messages().c_str());
        return false;
    }
    const double wall = meter.WallSeconds();
    const double throughput = static_cast<double>(bytes) / wall;
    Report(what + ": frames written", static_cast<double>(bytes) / written / 1024, "KiB/s");
    Report(what + ": stored and listed", throughput / 1024, "KiB/s");
    Report(what + ": ratio to the line's " + std::to_string(lineBytesPerSecond) + " bytes/s",
           throughput / static_cast<double>(lineBytesPerSecond), "");
    Report(what + ": CPU meanwhile", meter.PercentOfOneCore(), "% of one core");
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const int lines = argc > 1 ? std::atoi(argv[1]) : 50000;

    char pattern[] = "/tmp/cardpush-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path folder = pattern;
    const std::uint64_t bytes = WriteJob(folder / kJobName, lines);
    std::printf("job file: %d lines, %llu bytes\n", lines, static_cast<unsigned long long>(bytes));

    const bool ok = Run("unpaced", {}, 0, folder, bytes) &&
                    Run("paced at 115200 baud", {"--baud", "115200"}, 115200, folder, bytes);
    fs::remove_all(folder);
    return ok ? 0 : 1;
}
