// The console program's watched folder, measured from outside: the real
// cardpush-cli runs `watch --delete-after` on a folder of its own, against
// the controller simulator on a pseudo-terminal (its port named with --port,
// its settings in a file of the benchmark's own).
//   - From the last write of a job file into the folder (written in a few
//     chunks, as an editor or a copy does) to the upload's header frame at
//     the simulator (its wire log), for several files one after another,
//     each once the one before has been stored and deleted: each, the median
//     and the highest. A file is due once unchanged for the settle time, and
//     the folder is looked at every look interval.
//   - The tool's CPU time (every thread, exited ones included) while it
//     watches the emptied folder, connected and idle, as percent of one
//     core, and how often its threads were switched in meanwhile; beside
//     it, a bare thread of the benchmark's own that wakes as often and lists
//     the same folder: what the machine charges for the looking alone.
//   - SIGINT: how long the tool takes to end, its exit status, and whether
//     it has let the port go: no lock on it and no exclusive flag left on
//     the terminal (the flag belongs to the terminal, which the simulator
//     still holds open, and would shut out the next open that is not root's).
// Prints figures and judges nothing, but ends with status 1 when the tool
// did not get as far as the figures, or when the stop went wrong.
//
// Usage: cardpush_bench_watch [files, default 5] [idle seconds, default 12]

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "jobs/card_name.h"
#include "jobs/job_file.h"
#include "session/folder_watch.h"
#include "settings_file.h"
#include "support/child_process.h"
#include "support/sim_process.h"
#include "support/temp_folder.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

namespace fs = std::filesystem;
using cardpush::testing::ReadBytes;

// How long the tool may take to connect: the port settles 3 s, then the
// handshake and the listing.
constexpr auto kConnectGuard = 30s;
// How long one file may take from its last write to stored and deleted.
constexpr auto kUploadGuard = 30s;
// How long the tool may take to end after SIGINT.
constexpr auto kStopGuard = 20s;
// How often the benchmark looks at the wire log and the tool's output while
// it waits for something to happen.
constexpr auto kPoll = 1ms;
// After the first listing request: time for its answer, so that the first
// file meets a tool that is ready.
constexpr auto kAfterReady = 500ms;
// Before the idle window: time for whatever an upload leaves to do.
constexpr auto kBeforeIdle = 2s;
// Chunks of a job file and the pause between two writes: a file written in
// steps changes while the tool already looks at it.
constexpr int kChunks = 3;
constexpr auto kChunkPause = 30ms;
// Lines of each job file.
constexpr int kJobLines = 30;
// What the tool prints on its standard output for a job file deleted after
// the listing showed it stored.
const std::string kDeletedLocally = "Удалён с компьютера: ";

double SecondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

// Waits until done() holds, looking every kPoll; false when the guard runs
// out first, or alive() stops holding.
bool WaitUntil(const std::function<bool()>& done, Clock::duration guard,
               const std::function<bool()>& alive)
{
    const auto end = Clock::now() + guard;
    while (!done()) {
        if (Clock::now() >= end || !alive()) {
            return done();
        }
        std::this_thread::sleep_for(kPoll);
    }
    return true;
}

// One figure line of this benchmark, for a script to read.
void Line(const std::string& what, double value, const char* format, const std::string& unit)
{
    std::printf(("watch: %s: " + std::string(format) + " %s\n").c_str(), what.c_str(), value,
                unit.c_str());
    std::fflush(stdout);
}

// The CPU time of another process so far (every thread, exited ones
// included), in seconds; -1 when it cannot be read.
double CpuSecondsOf(pid_t pid)
{
    clockid_t clock{};
    timespec t{};
    if (clock_getcpuclockid(pid, &clock) != 0 || clock_gettime(clock, &t) != 0) {
        return -1;
    }
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// How often the threads of a process have been switched in so far (the
// voluntary and the forced switches of each thread now living).
long SwitchesOf(pid_t pid)
{
    long switches = 0;
    std::error_code ignored;
    for (const auto& task :
         fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ignored)) {
        std::ifstream status(task.path() / "status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
                line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
                switches += std::strtol(line.c_str() + line.find(':') + 1, nullptr, 10);
            }
        }
    }
    return switches;
}

int ThreadsOf(pid_t pid)
{
    int threads = 0;
    std::error_code ignored;
    for ([[maybe_unused]] const auto& task :
         fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ignored)) {
        ++threads;
    }
    return threads;
}

// The floor of the idle figure on this machine: a thread that does no more
// than a watcher must, waking every look interval to list the folder, run
// beside the tool over the same window.
class BareLooker {
public:
    explicit BareLooker(fs::path folder) : folder_(std::move(folder))
    {
        thread_ = std::thread([this] { Run(); });
    }
    ~BareLooker() { Stop(); }
    BareLooker(const BareLooker&) = delete;
    BareLooker& operator=(const BareLooker&) = delete;

    // Ends the thread; its CPU time in seconds, -1 when it could not be read.
    double Stop()
    {
        if (thread_.joinable()) {
            {
                std::lock_guard lock(mutex_);
                stop_ = true;
            }
            wake_.notify_one();
            thread_.join();
        }
        return cpuSeconds_;
    }

private:
    void Run()
    {
        std::unique_lock lock(mutex_);
        while (!stop_) {
            wake_.wait_until(lock, Clock::now() + cardpush::FolderWatch::kLookEvery,
                             [this] { return stop_; });
            std::error_code ignored;
            for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder_, ignored)) {
            }
        }
        timespec t{};
        if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t) == 0) {
            cpuSeconds_ = static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
        }
    }

    fs::path folder_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    double cpuSeconds_ = -1;
    std::thread thread_;
};

// How a terminal stands towards a process that may hold it.
struct PortHold {
    bool opened = false;  // this process could open it
    bool locked = false;  // someone holds its lock
    int exclusive = -1;   // its exclusive flag: 1 set, 0 clear, -1 unknown
};

PortHold LookAtPort(const std::string& device)
{
    PortHold hold;
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // An exclusive terminal refuses the open (unless to root).
        hold.exclusive = errno == EBUSY ? 1 : -1;
        return hold;
    }
    hold.opened = true;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        hold.locked = errno == EWOULDBLOCK;
    } else {
        ::flock(fd, LOCK_UN);
    }
#ifdef TIOCGEXCL
    int flag = 0;
    if (::ioctl(fd, TIOCGEXCL, &flag) == 0) {
        hold.exclusive = flag != 0 ? 1 : 0;
    }
#endif
    ::close(fd);
    return hold;
}

std::string Describe(const PortHold& hold)
{
    if (!hold.opened) {
        return hold.exclusive == 1 ? "refused (exclusive)" : "cannot be opened";
    }
    const char* exclusive = hold.exclusive == 1   ? ", exclusive"
                            : hold.exclusive == 0 ? ", not exclusive"
                                                  : ", exclusive flag unknown";
    return std::string(hold.locked ? "locked" : "not locked") + exclusive;
}

// A job file's bytes: valid lines, each with CR LF.
std::string JobContent(int file)
{
    std::string content;
    for (int line = 0; line < kJobLines; ++line) {
        content += std::to_string(10 + line) + " W" + std::to_string(file) + "L" +
                   std::to_string(line) + "\r\n";
    }
    return content;
}

// Writes the file in kChunks writes with a pause between them; the time the
// last write returned.
Clock::time_point WriteInChunks(const fs::path& path, const std::string& content)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
    Clock::time_point last{};
    const std::size_t chunk = (content.size() + kChunks - 1) / kChunks;
    for (std::size_t at = 0; at < content.size(); at += chunk) {
        if (at > 0) {
            std::this_thread::sleep_for(kChunkPause);
        }
        const std::size_t size = std::min(chunk, content.size() - at);
        if (::write(fd, content.data() + at, size) != static_cast<ssize_t>(size)) {
            std::perror(path.c_str());
            std::exit(1);
        }
        last = Clock::now();
    }
    ::close(fd);
    return last;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::size_t Count(const std::string& text, const std::string& what)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + what.size())) {
        ++count;
    }
    return count;
}

}  // namespace

int main(int argc, char** argv)
{
    const int files = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const double idleSeconds = argc > 2 ? std::max(1.0, std::atof(argv[2])) : 12.0;

    cardpush::testing::TempFolder work("cardpush-bench-watch");
    const fs::path jobs = work / "jobs";
    fs::create_directories(jobs);
    cardpush::testing::SimProcess sim;
    cardpush::bench::WriteSettingsFile(work.path(), jobs, sim.DevicePath());

    const Clock::time_point spawned = Clock::now();
    cardpush::testing::ChildProcess tool(
        {CARDPUSH_CLI_EXECUTABLE, "--settings", (work / "nastr.dat").string(), "--port",
         sim.DevicePath(), "watch", "--delete-after", jobs.string()},
        work.path());
    const auto alive = [&] { return tool.Running(); };
    const auto fail = [&](const std::string& what) {
        std::fprintf(stderr,
                     "watch: %s\n--- cardpush-cli output:\n%s--- its errors:\n%s"
                     "--- the simulator:\n%s",
                     what.c_str(), tool.Output().c_str(), tool.Errors().c_str(),
                     sim.Messages().c_str());
        return 1;
    };
    if (tool.Pid() <= 0) {
        return fail("cannot start " CARDPUSH_CLI_EXECUTABLE);
    }

    // Connected: the handshake has ended with the first listing request.
    if (!WaitUntil([&] { return sim.WireLog().find('>') != std::string::npos; }, kConnectGuard,
                   alive)) {
        return fail("the tool did not connect");
    }
    Line("spawn to the first listing request", SecondsBetween(spawned, Clock::now()), "%.3f", "s");
    std::this_thread::sleep_for(kAfterReady);

    // One file after another, each once the one before is stored and gone.
    std::vector<double> latencies;
    for (int i = 1; i <= files; ++i) {
        const std::string fileName = "W" + std::to_string(i) + ".txt";
        const std::string content = JobContent(i);
        const std::string header =
            cardpush::MakeJobUpload(cardpush::MakeCardName(cardpush::CutBaseName(fileName)),
                                    cardpush::ShapeOfJob(content))
                .header;
        const std::size_t headersBefore = Count(sim.WireLog(), header);
        const Clock::time_point lastWrite = WriteInChunks(jobs / fileName, content);
        Clock::time_point seen{};
        const bool sent = WaitUntil(
            [&] {
                if (Count(sim.WireLog(), header) > headersBefore) {
                    seen = Clock::now();
                    return true;
                }
                return false;
            },
            kUploadGuard, alive);
        if (!sent) {
            return fail("no header frame for " + fileName);
        }
        latencies.push_back(SecondsBetween(lastWrite, seen));
        Line("file " + std::to_string(i) + " of " + std::to_string(files) +
                 ": last write to header frame",
             latencies.back(), "%.3f", "s");
        // Stored, listed and deleted: the next file meets an idle tool.
        const std::size_t deletions = static_cast<std::size_t>(i);
        if (!WaitUntil(
                [&] {
                    return Count(tool.Output(), kDeletedLocally) >= deletions &&
                           !fs::exists(jobs / fileName);
                },
                kUploadGuard, alive)) {
            return fail(fileName + " was not stored and deleted");
        }
        // Each file meets the tool's looks at another point of their
        // interval, the files together spread over the whole of it.
        std::this_thread::sleep_for(300ms + cardpush::FolderWatch::kLookEvery * i / files);
    }
    Line("last write to header frame", Median(latencies), "%.3f", "s");
    Line("last write to header frame, highest of " + std::to_string(files),
         *std::max_element(latencies.begin(), latencies.end()), "%.3f", "s");

    // Idle: connected, the folder empty.
    std::this_thread::sleep_for(kBeforeIdle);
    const PortHold held = LookAtPort(sim.DevicePath());
    const int threads = ThreadsOf(tool.Pid());
    const double cpuStart = CpuSecondsOf(tool.Pid());
    const long switchesStart = SwitchesOf(tool.Pid());
    const Clock::time_point idleStart = Clock::now();
    BareLooker bare(jobs);
    std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
    const double cpuEnd = CpuSecondsOf(tool.Pid());
    const long switchesEnd = SwitchesOf(tool.Pid());
    const double wall = SecondsBetween(idleStart, Clock::now());
    const double bareCpu = bare.Stop();
    if (!tool.Running() || cpuStart < 0 || cpuEnd < 0) {
        return fail("the tool's CPU time could not be read");
    }
    Line("CPU while watching an idle folder", 100.0 * (cpuEnd - cpuStart) / wall, "%.3f",
         "% of one core");
    Line("thread switches while watching an idle folder (" + std::to_string(threads) +
             " threads, " + std::to_string(static_cast<int>(wall)) + " s)",
         static_cast<double>(switchesEnd - switchesStart) / wall, "%.1f", "per second");
    Line("CPU of a bare loop beside it, listing the folder as often", 100.0 * bareCpu / wall,
         "%.3f", "% of one core");
    std::printf("watch: the port while connected: %s\n", Describe(held).c_str());

    // Ctrl-C.
    const Clock::time_point interrupted = Clock::now();
    tool.Signal(SIGINT);
    if (!WaitUntil([&] { return !tool.Running(); }, kStopGuard, [] { return true; })) {
        return fail("the tool did not end after SIGINT");
    }
    Line("SIGINT to exit", SecondsBetween(interrupted, Clock::now()), "%.3f", "s");
    const int status = tool.ExitStatus();
    std::printf("watch: exit status after SIGINT: %d\n", status);
    const PortHold after = LookAtPort(sim.DevicePath());
    const bool letGo = after.opened && !after.locked && after.exclusive != 1;
    std::printf("watch: the port after exit: %s (%s)\n", Describe(after).c_str(),
                letGo ? "let go" : "NOT let go");
    std::fflush(stdout);
    if (status != 7 || !letGo) {
        return fail("the stop went wrong");
    }
    return 0;
}
