// How long the port search takes to find the controller among silent ports:
// from the search's start (the session started) to the first "N" of the
// handshake arriving at the controller simulator, with the tool's own timing.
//   - No saved port, 8 candidate ports: 7 silent simulators (--no-answer)
//     and the answering one last in the port list.
//   - The saved port exists but is silent, the controller on another of the
//     8 ports (the saved one first in the list, the controller last).
// The ports are pseudo-terminals of the tests' own port list, never the
// machine's serial devices. Prints figures; nothing is judged.
//
// The search tries one port at a time: open, settle, "S", the checks, close.
// Each silent port costs the settle wait and all checks, about 7 s. A saved
// port that stays silent is tried alone first and then again in its place in
// the list.
//
// Usage: cardpush_bench_search

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench_util.h"
#include "platform/main_thread.h"
#include "support/link_wait.h"
#include "support/port_list_override.h"
#include "support/session_harness.h"
#include "support/sim_process.h"
#include "support/temp_folder.h"

using namespace std::chrono_literals;
using cardpush::platform::MainThread;
using cardpush::testing::SimProcess;
using Clock = std::chrono::steady_clock;

namespace {

// Long enough for a sequential search over 8 ports and then some.
constexpr auto kSearchGuard = 180s;
// How often the watcher looks at the controller's wire log.
constexpr auto kWatchInterval = 1ms;

// The simulators of one search, each behind a link named after its place in
// the port list (the list is sorted by name): the silent ones first, the
// controller last.
class Ports {
public:
    explicit Ports(int count)
    {
        for (int place = 1; place <= count; ++place) {
            std::vector<std::string> options{"--link", LinkPath(place)};
            if (place < count) {
                options.emplace_back("--no-answer");
            }
            sims_.push_back(std::make_unique<SimProcess>(options));
            list_.push_back(LinkPath(place));
        }
    }

    // The port names in list order, the controller's last.
    const std::vector<std::string>& List() const { return list_; }
    const std::string& FirstSilent() const { return list_.front(); }
    const SimProcess& Controller() const { return *sims_.back(); }
    // How many of the silent ports have been sent anything.
    int SilentPortsTried() const
    {
        int tried = 0;
        for (std::size_t i = 0; i + 1 < sims_.size(); ++i) {
            tried += sims_[i]->WireLog().empty() ? 0 : 1;
        }
        return tried;
    }
    int SilentPorts() const { return static_cast<int>(sims_.size()) - 1; }

private:
    std::string LinkPath(int place) const
    {
        char name[16];
        std::snprintf(name, sizeof name, "port-%02d", place);
        return (links_ / name).string();
    }

    cardpush::testing::TempFolder links_{"cardpush-bench-ports"};
    std::vector<std::unique_ptr<SimProcess>> sims_;
    std::vector<std::string> list_;
};

// Runs a search of a fresh session over the ports, the saved port given or
// none; the seconds from the session's start to the first "N" at the
// controller, or nothing when it did not come within the guard.
std::optional<double> SecondsToSerialNumberRequest(const Ports& ports,
                                                   const std::optional<std::string>& savedPort)
{
    cardpush::testing::PortListOverride devices(ports.List());
    cardpush::Settings settings;
    if (savedPort) {
        settings.port = *savedPort;
    }
    cardpush::testing::SessionHarness harness(devices, settings, cardpush::LinkTiming{});

    // A thread of its own watches the wire log, so that the moment is taken
    // within a millisecond whatever the GUI thread is serving. It reads the
    // log's file only; the simulator is not touched otherwise meanwhile.
    std::atomic<bool> seen{false};
    std::atomic<bool> stop{false};
    Clock::time_point seenAt{};
    const Clock::time_point start = Clock::now();
    harness.Session().Start();
    std::thread watcher([&] {
        while (!stop.load()) {
            if (ports.Controller().WireLog().find('N') != std::string::npos) {
                seenAt = Clock::now();
                seen.store(true);
                MainThread::Wake();
                return;
            }
            std::this_thread::sleep_for(kWatchInterval);
        }
    });
    cardpush::testing::ServeUntil([&] { return seen.load(); }, kSearchGuard);
    stop.store(true);
    watcher.join();
    if (!seen.load()) {
        std::fprintf(stderr, "the controller was not found within %lld s; it said:\n%s\n",
                     static_cast<long long>(kSearchGuard.count()),
                     ports.Controller().Messages().c_str());
        return std::nullopt;
    }
    // A controller reached before the silent ports were tried (a port list
    // in another order) would make the figure one of another search.
    if (ports.SilentPortsTried() != ports.SilentPorts()) {
        std::fprintf(stderr, "only %d of the %d silent ports were tried: not the search meant\n",
                     ports.SilentPortsTried(), ports.SilentPorts());
        return std::nullopt;
    }
    int attempts = 0;
    for (const auto& line : harness.view.LinkLogLines()) {
        attempts += line.rfind("---", 0) == 0 ? 1 : 0;
    }
    cardpush::bench::Report("  port attempts until then", attempts, "");
    return std::chrono::duration<double>(seenAt - start).count();
}

}  // namespace

int main()
{
    MainThread::Bind();
    constexpr int kPorts = 8;
    int status = 0;
    {
        const Ports ports(kPorts);
        if (const auto seconds = SecondsToSerialNumberRequest(ports, std::nullopt)) {
            std::printf("search: sequential, %d ports, controller last: %.3f s\n", kPorts,
                        *seconds);
            std::fflush(stdout);
        } else {
            status = 1;
        }
    }
    {
        const Ports ports(kPorts);
        if (const auto seconds = SecondsToSerialNumberRequest(ports, ports.FirstSilent())) {
            std::printf("search: sequential, saved port silent, %d ports: %.3f s\n", kPorts,
                        *seconds);
            std::fflush(stdout);
        } else {
            status = 1;
        }
    }
    return status;
}
