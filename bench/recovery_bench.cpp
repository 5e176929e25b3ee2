// The tool when its controller goes away: the main window (offscreen)
// connected to the controller simulator behind a link path that the settings
// keep as the saved port.
//   - The line is cut and stays down: the CPU the whole process uses while
//     the link searches for the lost controller, with the tool's own timing
//     (as an operator gets it), as percent of one core; the port attempts
//     made meanwhile; descriptors and threads before and after.
//   - The line is dropped and comes back at once, over and over, with a
//     short timing: after each cycle, once the link is connected and idle
//     again, the open descriptors and the threads of the process. The first,
//     last, lowest and highest counts after a warm-up are printed; a
//     descriptor or thread left behind by each reconnect shows as a rise.
// Prints figures; nothing is judged.
// Usage: cardpush_bench_recovery [search seconds, default 60] [cycles, default 200]

#include <sched.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/qt/Unit1.h"
#include "app/qt/application.h"
#include "app/qt/dialogs.h"
#include "bench_util.h"
#include "event_loop.h"
#include "link/link_session.h"
#include "settings_file.h"
#include "support/link_wait.h"
#include "support/port_list_override.h"
#include "support/sim_process.h"
#include "support/temp_folder.h"

using namespace std::chrono_literals;
using cardpush::bench::CpuMeter;
using cardpush::bench::OpenDescriptors;
using cardpush::bench::Report;
using cardpush::bench::ResidentKiB;
using cardpush::bench::RunEventsFor;
using cardpush::bench::RunEventsUntil;
using cardpush::bench::Threads;

namespace {

namespace fs = std::filesystem;

// Reconnects in well under a second: the port settles for 10 ms, the link
// rests 50 ms after a loss.
const cardpush::LinkSession::Timing kQuick{
    .settle = 10ms, .check = 20ms, .checks = 20, .reconnectPause = 50ms};

// Cycles before the counts are taken as the baseline: the first reconnects
// may start what lives on (the event loop's helpers, a thread pool).
constexpr int kWarmUpCycles = 5;

std::string CpuModel()
{
    std::ifstream info("/proc/cpuinfo");
    std::string line;
    while (std::getline(info, line)) {
        if (line.rfind("model name", 0) == 0) {
            const auto colon = line.find(':');
            return colon == std::string::npos ? line : line.substr(colon + 2);
        }
    }
    return "unknown";
}

// A settings folder holding nastr.dat with the saved port, and an empty job
// folder; removed when it goes.
class Workspace {
public:
    explicit Workspace(const std::string& savedPort)
    {
        fs::create_directory(temp_ / "jobs");
        cardpush::bench::WriteSettingsFile(temp_.path(), temp_ / "jobs", savedPort);
    }

    const fs::path& Folder() const { return temp_.path(); }

private:
    cardpush::testing::TempFolder temp_{"cardpush-bench"};
};

// The simulator behind <link folder>/rolgang and the main window with that
// path saved, its port list empty: a search never reaches the machine's own
// serial ports.
struct Tool {
    Tool(const fs::path& linkFolder, const std::string& dropPause,
         const cardpush::LinkSession::Timing& timing)
        : link((linkFolder / "rolgang").string()),
          sim({"--link", link, "--drop-pause", dropPause}),
          workspace(link),
          form(cardpush::SettingsStore(workspace.Folder()), nullptr, devices)
    {
        for (const char* card : {"A1", "B2", "C3"}) {
            sim.PutCardFile(card, "1 x\r\n");
        }
        form.Link().SetTiming(timing);
        QObject::connect(&form, &QWidget::windowTitleChanged, [this](const QString& title) {
            if (title.startsWith(QString::fromUtf8("Нет связи с рольгангом: "))) {
                ++losses;
            }
        });
        form.show();
    }

    bool Connected() { return form.Link().CardCommandsAllowed(); }

    // Port attempts logged so far ("---" and the port's name).
    int PortAttempts() const
    {
        const auto* memo = form.findChild<QPlainTextEdit*>("Memo1");
        int attempts = 0;
        for (const QString& line : memo->toPlainText().split('\n')) {
            attempts += line.startsWith("---") ? 1 : 0;
        }
        return attempts;
    }

    std::string link;
    cardpush::testing::PortListOverride devices;
    cardpush::testing::SimProcess sim;
    Workspace workspace;
    cardpush::TForm1 form;
    int losses = 0;
};

bool SearchWhileLineIsDown(const fs::path& linkFolder, std::chrono::milliseconds span)
{
    // The line stays down for an hour once cut.
    Tool tool(linkFolder, "3600000", cardpush::LinkSession::Timing{});
    if (!RunEventsUntil([&] { return tool.Connected(); })) {
        std::fprintf(stderr, "the link did not connect: %s\n", tool.sim.Messages().c_str());
        return false;
    }
    const int descriptorsBefore = OpenDescriptors();
    const int threadsBefore = Threads();
    const int attemptsBefore = tool.PortAttempts();

    tool.sim.CutLine();
    CpuMeter meter;
    RunEventsFor(span);
    const double cpu = meter.PercentOfOneCore();
    const double wall = meter.WallSeconds();

    Report("searching for a lost controller (" + std::to_string(static_cast<int>(wall + 0.5)) +
               " s, tool's timing)",
           cpu, "% of one core");
    Report("  port attempts meanwhile", tool.PortAttempts() - attemptsBefore, "");
    Report("  controller lost (times)", tool.losses, "");
    Report("  open descriptors, connected", descriptorsBefore, "");
    Report("  open descriptors, after the search", OpenDescriptors(), "");
    Report("  threads, connected", threadsBefore, "");
    Report("  threads, after the search", Threads(), "");
    if (tool.losses != 1 || tool.Connected()) {
        std::fprintf(stderr, "the link did not stay lost: the figures are not of a search\n");
        return false;
    }
    return true;
}

// A count after each cycle. Flat: it never moved by more than `slack`.
struct Series {
    std::vector<double> values;

    void Print(const std::string& what, const std::string& unit, double slack = 0) const
    {
        if (values.empty()) {
            return;
        }
        const auto [low, high] = std::minmax_element(values.begin(), values.end());
        Report(what + ", first", values.front(), unit);
        Report(what + ", last", values.back(), unit);
        Report(what + ", lowest", *low, unit);
        Report(what + ", highest", *high, unit);
        int rises = 0;
        for (std::size_t i = 1; i < values.size(); ++i) {
            rises += values[i] > values[i - 1] ? 1 : 0;
        }
        Report(what + ", cycles that raised it", rises, "");
        std::printf("%-58s %12s\n", (what + ", flat:").c_str(),
                    *high - *low <= slack ? "yes" : "no");
    }
};

// Resident memory may move a little with the allocator's pages.
constexpr double kMemorySlackKiB = 2048;

bool DropAndReconnect(const fs::path& linkFolder, int cycles)
{
    Tool tool(linkFolder, "0", kQuick);
    if (!RunEventsUntil([&] { return tool.Connected(); })) {
        std::fprintf(stderr, "the link did not connect: %s\n", tool.sim.Messages().c_str());
        return false;
    }
    Report("open descriptors, connected at start", OpenDescriptors(), "");
    Report("threads, connected at start", Threads(), "");

    Series descriptors;
    Series threads;
    Series memory;
    double slowest = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        const auto begun = std::chrono::steady_clock::now();
        const int lossesBefore = tool.losses;
        tool.sim.DropLine();
        // Lost first, then connected and idle again: a link that has not yet
        // seen the drop is still "connected".
        if (!RunEventsUntil([&] { return tool.losses > lossesBefore && tool.Connected(); })) {
            std::fprintf(stderr, "cycle %d: the link did not reconnect (losses %d): %s\n", cycle,
                         tool.losses, tool.sim.Messages().c_str());
            return false;
        }
        slowest = std::max(
            slowest,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count());
        if (cycle > std::min(kWarmUpCycles, cycles / 2)) {
            descriptors.values.push_back(OpenDescriptors());
            threads.values.push_back(Threads());
            memory.values.push_back(ResidentKiB());
        }
    }
    const double total =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    Report("drop-and-reconnect cycles", cycles, "");
    Report("  time taken", total, "s");
    Report("  slowest cycle (drop to connected and idle)", slowest, "s");
    Report("  controller lost (times)", tool.losses, "");
    std::printf("counts after each cycle from cycle %d on:\n",
                std::min(kWarmUpCycles, cycles / 2) + 1);
    descriptors.Print("  open descriptors", "");
    threads.Print("  threads", "");
    memory.Print("  resident memory", "KiB", kMemorySlackKiB);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const double searchSeconds = argc > 1 ? std::atof(argv[1]) : 60.0;
    const int cycles = argc > 2 ? std::atoi(argv[2]) : 200;

    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int qtArgc = 1;
    char name[] = "cardpush_bench_recovery";
    char* qtArgv[] = {name, nullptr};
    cardpush::CardPushApplication application(qtArgc, qtArgv);
    // Messages would wait for an operator; they are counted instead.
    int messages = 0;
    cardpush::SetMessageHandler([&](const std::string&) { ++messages; });

    cpu_set_t usable;
    CPU_ZERO(&usable);
    const int cpus = sched_getaffinity(0, sizeof usable, &usable) == 0
                         ? CPU_COUNT(&usable)
                         : static_cast<int>(std::thread::hardware_concurrency());
    std::printf("machine: %d usable CPUs, %s\n", cpus, CpuModel().c_str());

    const cardpush::testing::TempFolder linkTemp("cardpush-bench-link");
    const fs::path& linkFolder = linkTemp.path();
    int status = 0;
    if (searchSeconds > 0 &&
        !SearchWhileLineIsDown(
            linkFolder, std::chrono::milliseconds(static_cast<long>(searchSeconds * 1000)))) {
        status = 1;
    }
    if (status == 0 && cycles > 0 && !DropAndReconnect(linkFolder, cycles)) {
        status = 1;
    }
    Report("messages shown", messages, "");
    return status;
}
