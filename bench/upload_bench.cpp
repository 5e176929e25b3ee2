// One large job file through the whole stack, side by side with a plain
// writer, in one run and into the same simulator build:
//   - for each line (unpaced, paced to 115200 baud, paced to 9600 baud): a
//     raw writer sends the same frames straight to the simulator's
//     pseudo-terminal, one write() each, and asks for the listing; then the
//     tool uploads the file headless (card commands, link, serial port, POSIX
//     device layer) and the listing shows it stored. Prints both rates, their
//     ratio, the ratio to the nominal line, and the CPU used (percent of one
//     core and seconds per MB);
//   - unpaced again through the real windows: the main window (offscreen)
//     uploads the selected file, its progress window showing, until the
//     listing in ListBox2 shows it; printed against the headless figure;
//   - the real executable's start-up (startup_probe.h): to the main window
//     shown and to the listing request.
// Prints figures and judges nothing. Unpaced, the simulator reads as fast
// as bytes come, as a USB adapter or a controller's own USB serial device
// does. A paced simulator reads no faster than the line (10 bits a byte).
// Unpaced runs are short and the machine's other work shows in them: each is
// run a few times and the best taken.
// Usage: cardpush_bench_upload [lines unpaced, default 200000]
//                              [lines at 115200, default 10000] [lines at 9600, default 1000]

#include <QCoreApplication>
#include <QEventLoop>
#include <QListWidget>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/qt/Unit1.h"
#include "app/qt/application.h"
#include "app/qt/dialogs.h"
#include "bench_util.h"
#include "event_loop.h"
#include "jobs/card_commands.h"
#include "jobs/job_file.h"
#include "link/protocol.h"
#include "raw_writer.h"
#include "settings_file.h"
#include "startup_probe.h"
#include "support/link_wait.h"
#include "support/temp_folder.h"

using namespace std::chrono_literals;
using cardpush::CardCommands;
using cardpush::CardCommandsHost;
using cardpush::LinkSession;
using cardpush::ProgressFn;
using cardpush::UploadProgress;
using cardpush::bench::BenchLink;
using cardpush::bench::CpuMeter;
using cardpush::bench::Report;
using cardpush::bench::RunEventsUntil;

namespace {

namespace fs = std::filesystem;

const LinkSession::Timing kQuick{.settle = 10ms, .check = 20ms, .checks = 20};
const std::string kJobName = "BIGJOB.txt";
const std::string kCardName = "BIGJOB";
// The simulator's answer to ">" with the one file stored: the count byte
// and one name of 8 bytes.
constexpr std::size_t kListingBytes = 9;
constexpr double kMB = 1e6;
constexpr double kKB = 1e3;
constexpr int kUnpacedRuns = 3;

// A folder holding one job file of this many lines, as job files hold them:
// a size field, then the rest.
struct JobFolder {
    fs::path folder;
    std::uint64_t bytes = 0;
    std::vector<std::string> frames;  // on the wire, in order
};

JobFolder WriteJob(const fs::path& folder, int lines)
{
    JobFolder job{folder, 0, {}};
    fs::create_directories(folder);
    std::string content;
    for (int i = 0; i < lines; ++i) {
        content += std::to_string(1000 + i % 9000) + ".5 L" + std::to_string(i) + " W" +
                   std::to_string(i % 70) + "\r\n";
    }
    std::ofstream(folder / kJobName, std::ios::binary) << content;
    job.bytes = content.size();
    job.frames.push_back(cardpush::MakeJobUpload(kCardName, cardpush::ShapeOfJob(content)).header);
    for (const auto& line : cardpush::ReadJobLines(content)) {
        job.frames.push_back(cardpush::protocol::LineFrame(line));
    }
    return job;
}

struct Figures {
    bool ok = false;
    double seconds = 0;
    double cpuSeconds = 0;
};

void ReportRate(const std::string& what, std::uint64_t bytes, const Figures& f)
{
    Report(what + ": stored and listed", static_cast<double>(bytes) / f.seconds / kKB, "kB/s");
    Report(what + ": CPU", 100.0 * f.cpuSeconds / f.seconds, "% of one core");
    Report(what + ": CPU per MB", f.cpuSeconds / (static_cast<double>(bytes) / kMB), "s");
}

Figures RunRaw(const std::vector<std::string>& simOptions, const JobFolder& job)
{
    cardpush::testing::SimProcess sim(simOptions);
    const auto raw = cardpush::bench::RawUpload(sim.DevicePath(), job.frames, kListingBytes);
    if (!raw.ok || sim.CardFiles().size() != 1) {
        std::fprintf(stderr, "raw writer: not stored: %s\n", sim.Messages().c_str());
        return {};
    }
    return {true, raw.seconds, raw.cpuSeconds};
}

// Uploads the job file headless to a fresh simulator.
Figures RunHeadless(const std::vector<std::string>& simOptions, const JobFolder& job)
{
    BenchLink link(simOptions, kQuick, {}, job.folder);
    if (!link.WaitIdle()) {
        std::fprintf(stderr, "the link did not connect: %s\n", link.sim.Messages().c_str());
        return {};
    }
    CpuMeter meter;
    link.harness.Session().UploadJobFile(kJobName);
    // The listing is answered only after every byte before it was taken.
    const bool stored = cardpush::testing::ServeUntil(
        [&] { return link.session->CardCommandsAllowed() && link.view.CardList().size() == 1; },
        30min);
    if (!stored || !link.view.Messages().empty()) {
        std::fprintf(stderr, "the upload was not stored: %s\n", link.sim.Messages().c_str());
        return {};
    }
    const double wall = meter.WallSeconds();
    return {true, wall, meter.PercentOfOneCore() * wall / 100};
}

// Uploads the job file from the main window (offscreen), as an operator
// does: selected in the local list, "Загрузить", the progress window
// showing, until ListBox2 lists it.
Figures RunThroughWindows(const JobFolder& job, const fs::path& settingsFolder)
{
    cardpush::testing::PortListOverride devices;
    cardpush::testing::SimProcess sim;
    cardpush::bench::WriteSettingsFile(settingsFolder, job.folder, sim.DevicePath());

    cardpush::TForm1 form(cardpush::SettingsStore(settingsFolder), nullptr, devices);
    const auto idle = [&] { return form.Link().CardCommandsAllowed(); };
    if (!cardpush::bench::ShowConnected(form, kQuick)) {
        std::fprintf(stderr, "windows: the link did not connect: %s\n", sim.Messages().c_str());
        return {};
    }
    auto* cards = form.findChild<QListWidget*>("ListBox2");
    form.findChild<QListWidget*>("ListBox1")->setCurrentRow(0);
    CpuMeter meter;
    form.N3Click();
    if (!RunEventsUntil([&] { return idle() && cards->count() == 1; }, 30min)) {
        std::fprintf(stderr, "windows: the upload was not listed: %s\n", sim.Messages().c_str());
        return {};
    }
    const double wall = meter.WallSeconds();
    return {true, wall, meter.PercentOfOneCore() * wall / 100};
}

// The quicker of two figures, failed ones aside.
Figures Best(const Figures& a, const Figures& b)
{
    if (!a.ok || (b.ok && b.seconds < a.seconds)) {
        return b;
    }
    return a;
}

// One line: the raw writer, then the tool, `runs` times in turn; the best of
// each, which is what the code can do with the least of what else the machine
// was doing meanwhile. False when a run failed.
bool CompareOnLine(const std::string& what, const std::vector<std::string>& simOptions, int baud,
                   const JobFolder& job, int runs)
{
    std::printf("--- %s: %llu bytes, %zu frames, best of %d\n", what.c_str(),
                static_cast<unsigned long long>(job.bytes), job.frames.size(), runs);
    Figures raw;
    Figures tool;
    for (int run = 0; run < runs; ++run) {
        const Figures rawRun = RunRaw(simOptions, job);
        const Figures toolRun = rawRun.ok ? RunHeadless(simOptions, job) : Figures{};
        if (!toolRun.ok) {
            return false;
        }
        raw = Best(raw, rawRun);
        tool = Best(tool, toolRun);
    }
    ReportRate(what + ", raw writer", job.bytes, raw);
    ReportRate(what + ", tool", job.bytes, tool);
    Report(what + ": tool / raw writer", raw.seconds / tool.seconds, "");
    if (baud > 0) {
        const double line = baud / 10.0;
        Report(what + ": tool / nominal line", static_cast<double>(job.bytes) / tool.seconds / line,
               "");
        Report(what + ": raw writer / nominal line",
               static_cast<double>(job.bytes) / raw.seconds / line, "");
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const int unpacedLines = argc > 1 ? std::atoi(argv[1]) : 200000;
    const int fastLines = argc > 2 ? std::atoi(argv[2]) : 10000;
    const int slowLines = argc > 3 ? std::atoi(argv[3]) : 1000;

    // Offscreen by the platform argument, as an operator's would be given.
    int qtArgc = 3;
    char name[] = "cardpush_bench_upload";
    char platformOption[] = "-platform";
    char platform[] = "offscreen";
    char* qtArgv[] = {name, platformOption, platform, nullptr};
    cardpush::CardPushApplication application(qtArgc, qtArgv);
    int messages = 0;
    cardpush::SetMessageHandler([&](const std::string&) { ++messages; });

    const cardpush::testing::TempFolder temp("cardpush-bench");
    const fs::path& folder = temp.path();
    const JobFolder unpaced = WriteJob(folder / "unpaced", unpacedLines);
    const JobFolder fast = WriteJob(folder / "fast", fastLines);
    const JobFolder slow = WriteJob(folder / "slow", slowLines);

    bool ok = CompareOnLine("unpaced", {}, 0, unpaced, kUnpacedRuns);
    if (ok) {
        // Headless and through the windows in turn, the best of each.
        Figures headless;
        Figures windows;
        for (int run = 0; ok && run < kUnpacedRuns; ++run) {
            const Figures headlessRun = RunHeadless({}, unpaced);
            const Figures windowsRun = RunThroughWindows(unpaced, folder / "settings");
            ok = headlessRun.ok && windowsRun.ok && messages == 0;
            headless = Best(headless, headlessRun);
            windows = Best(windows, windowsRun);
        }
        if (ok) {
            std::printf("--- unpaced through the windows, best of %d\n", kUnpacedRuns);
            ReportRate("unpaced, headless", unpaced.bytes, headless);
            ReportRate("unpaced, windows", unpaced.bytes, windows);
            Report("unpaced: windows / headless", headless.seconds / windows.seconds, "");
        }
    }
    ok = ok && CompareOnLine("paced at 115200 baud", {"--baud", "115200"}, 115200, fast, 1);
    ok = ok && CompareOnLine("paced at 9600 baud", {"--baud", "9600"}, 9600, slow, 1);
    if (ok) {
        std::printf("--- start-up of %s\n", CARDPUSH_EXECUTABLE);
        const auto startUp = cardpush::bench::MeasureStartUp(CARDPUSH_EXECUTABLE, folder);
        if (startUp.ok) {
            Report("start-up: to the main window shown", startUp.windowShown, "s");
            Report("start-up: to the listing request", startUp.listingRequested, "s");
            Report("start-up: to the first listing in ListBox2", startUp.listingShown, "s");
        }
    }
    if (messages != 0) {
        std::fprintf(stderr, "%d messages shown\n", messages);
    }
    return ok ? 0 : 1;
}
