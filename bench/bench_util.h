// What the benchmarks share: the process's CPU time against wall time, and a
// link connected to the controller simulator.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "link/link_session.h"
#include "support/port_list_override.h"
#include "support/session_harness.h"
#include "support/sim_process.h"

namespace cardpush::bench {

// CPU time (user and system, every thread of this process) so far.
double ProcessCpuSeconds();

// This process's resident memory (VmRSS) in KiB, open descriptors and
// threads, now.
double ResidentKiB();
// A memory figure of /proc/self/status in KiB ("VmRSS", "VmHWM"...); -1
// when the field is missing.
double StatusKiB(const std::string& field);
int OpenDescriptors();
int Threads();

// CPU time (user and system, every thread of this process) over wall time
// from construction on.
class CpuMeter {
public:
    CpuMeter();
    // Percent of one core used so far.
    double PercentOfOneCore() const;
    double WallSeconds() const;

private:
    std::chrono::steady_clock::time_point wallStart_;
    double cpuStart_;
};

// The tool's session without windows on the GUI thread (the calling one,
// made so here) against a simulator started with the given options and card
// files, its port saved, and sourceFolder as the source folder. The port list
// is empty: a search never reaches the machine's own serial ports.
struct BenchLink {
    BenchLink(std::vector<std::string> simOptions, LinkSession::Timing timing,
              const std::vector<std::string>& cardFiles = {},
              const std::filesystem::path& sourceFolder = {});

    // Serves until the link is connected and idle; false if it is not within
    // the guard time.
    bool WaitIdle();

    testing::PortListOverride devices;
    testing::SimProcess sim;
    testing::SessionHarness harness;
    LinkSession* session;
    testing::RecordingView& view;
};

// Serves the hand-overs of the link, as an idle event loop would, for this
// long. GUI thread.
void ServeFor(std::chrono::milliseconds time);

// One figure line: "<what>: <value> <unit>".
void Report(const std::string& what, double value, const std::string& unit);

}  // namespace cardpush::bench
