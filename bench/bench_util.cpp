#include "bench_util.h"

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/main_thread.h"
#include "support/link_wait.h"

namespace cardpush::bench {

double ProcessCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

namespace {

int CountEntries(const char* folder)
{
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++count;
    }
    return count;
}

}  // namespace

double StatusKiB(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    const std::string prefix = field + ":";
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0) {
            return std::strtod(line.c_str() + prefix.size(), nullptr);
        }
    }
    return -1;
}

double ResidentKiB()
{
    return StatusKiB("VmRSS");
}

int OpenDescriptors()
{
    return CountEntries("/proc/self/fd") - 1;  // the iterator's own
}

int Threads()
{
    return CountEntries("/proc/self/task");
}

CpuMeter::CpuMeter() : wallStart_(std::chrono::steady_clock::now()), cpuStart_(ProcessCpuSeconds())
{
}

double CpuMeter::WallSeconds() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart_).count();
}

double CpuMeter::PercentOfOneCore() const
{
    const double wall = WallSeconds();
    return wall > 0 ? 100.0 * (ProcessCpuSeconds() - cpuStart_) / wall : 0.0;
}

namespace {

Settings BenchSettings(const std::string& port, const std::filesystem::path& sourceFolder)
{
    Settings settings = testing::SavedPort(port);
    settings.sourceFolder = sourceFolder.string();
    return settings;
}

}  // namespace

BenchLink::BenchLink(std::vector<std::string> simOptions, LinkSession::Timing timing,
                     const std::vector<std::string>& cardFiles,
                     const std::filesystem::path& sourceFolder)
    : sim(std::move(simOptions)),
      harness(devices, BenchSettings(sim.DevicePath(), sourceFolder), timing),
      session(&harness.Link()),
      view(harness.view)
{
    for (const auto& name : cardFiles) {
        sim.PutCardFile(name, "1 x\r\n");
    }
    harness.Session().Start();
}

void ServeFor(std::chrono::milliseconds time)
{
    testing::ServeUntil([] { return false; }, time);
}

bool BenchLink::WaitIdle()
{
    return testing::ServeUntil(
        [this] { return session->LinkState() == protocol::LinkState::Idle; });
}

void Report(const std::string& what, double value, const std::string& unit)
{
    std::printf("%-58s %12.3f %s\n", (what + ":").c_str(), value, unit.c_str());
    std::fflush(stdout);
}

}  // namespace cardpush::bench
