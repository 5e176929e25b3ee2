// How long the port search takes to find the controller among silent ports:
// from the search's start (the session started) to the first "N" of the
// handshake arriving at the controller simulator, with the tool's own timing.
//   - No saved port, 8 candidate ports: 7 silent simulators (--no-answer)
//     and the answering one last in the port list; the same with 32.
//   - The saved port exists but is silent, the controller on another of the
//     8 ports (the saved one first in the list, the controller last).
//   - The saved port answers: no other port may be opened.
//   - CPU of this process (the tool's threads; the simulators are processes
//     of their own) while one pass probes 32 silent ports.
//   - The same first two with one port probed at a time, the search as it
//     was before a pass probed its ports together.
// The ports are pseudo-terminals of the tests' own port list, never the
// machine's serial devices. Prints figures; nothing is judged.
//
// Usage: cardpush_bench_search [cpu]   (cpu: the CPU figure alone)

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

// Long enough for a search one port at a time over 8 ports and then some.
constexpr auto kSearchGuard = 180s;
// How often the watcher looks at the controller's wire log.
constexpr auto kWatchInterval = 1ms;

// The simulators of one search, each behind a link named after its place in
// the port list (the list is sorted by name): the silent ones first, the
// controller last.
class Ports {
public:
    // count ports, the last one the controller unless all are silent.
    explicit Ports(int count, bool controllerLast = true)
    {
        for (int place = 1; place <= count; ++place) {
            std::vector<std::string> options{"--link", LinkPath(place)};
            if (place < count || !controllerLast) {
                options.emplace_back("--no-answer");
            }
            sims_.push_back(std::make_unique<SimProcess>(options));
            list_.push_back(LinkPath(place));
        }
    }

    // The port names in list order, the controller's last.
    const std::vector<std::string>& List() const { return list_; }
    const std::string& FirstSilent() const { return list_.front(); }
    const std::string& ControllerPort() const { return list_.back(); }
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
                                                   const std::optional<std::string>& savedPort,
                                                   std::size_t portsAtOnce,
                                                   bool silentPortsTried = true)
{
    cardpush::testing::PortListOverride devices(ports.List());
    cardpush::Settings settings;
    if (savedPort) {
        settings.port = *savedPort;
    }
    cardpush::LinkTiming timing;
    timing.portsAtOnce = portsAtOnce;
    cardpush::testing::SessionHarness harness(devices, settings, timing);

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
    const int expected = silentPortsTried ? ports.SilentPorts() : 0;
    if (ports.SilentPortsTried() != expected) {
        std::fprintf(stderr, "%d of the %d silent ports were tried, not %d: not the search meant\n",
                     ports.SilentPortsTried(), ports.SilentPorts(), expected);
        return std::nullopt;
    }
    // A pass writes its ports' log lines once it has chosen the controller.
    cardpush::testing::ServeUntil([&] { return !harness.view.PortRows().empty(); }, kSearchGuard);
    int attempts = 0;
    for (const auto& line : harness.view.LinkLogLines()) {
        attempts += line.rfind("---", 0) == 0 ? 1 : 0;
    }
    cardpush::bench::Report("  port attempts until then", attempts, "");
    return std::chrono::duration<double>(seenAt - start).count();
}

}  // namespace

// CPU of this process over one pass that probes count silent ports, from
// the session's start until the pass has told its outcomes; nothing when it
// did not end within the guard.
std::optional<double> CpuPercentOfASilentPass(int count)
{
    const Ports ports(count, false);
    cardpush::testing::PortListOverride devices(ports.List());
    cardpush::testing::SessionHarness harness(devices, cardpush::Settings{},
                                              cardpush::LinkTiming{});
    const cardpush::bench::CpuMeter cpu;
    harness.Session().Start();
    const bool told = cardpush::testing::ServeUntil(
        [&] { return harness.view.PortRows().size() == static_cast<std::size_t>(count); },
        kSearchGuard);
    if (!told) {
        return std::nullopt;
    }
    cardpush::bench::Report("  pass over the silent ports", cpu.WallSeconds(), "s");
    return cpu.PercentOfOneCore();
}

int main(int argc, char** argv)
{
    MainThread::Bind();
    int status = 0;
    const bool cpuOnly = argc > 1 && std::string(argv[1]) == "cpu";
    const auto print = [&status](const char* how, const std::optional<double>& seconds) {
        if (seconds) {
            std::printf("search: %s: %.3f s\n", how, *seconds);
            std::fflush(stdout);
        } else {
            status = 1;
        }
    };
    constexpr std::size_t kAllAtOnce = 0;
    constexpr std::size_t kOneAtATime = 1;
    const auto cpu = [&status] {
        if (const auto percent = CpuPercentOfASilentPass(32)) {
            std::printf("search: CPU, one pass over 32 silent ports: %.3f %% of one core\n",
                        *percent);
            std::fflush(stdout);
        } else {
            status = 1;
        }
    };
    if (cpuOnly) {
        cpu();
        return status;
    }
    enum class Saved { None, Silent, Answering };
    struct Search {
        const char* how;
        int ports;
        Saved saved;
        std::size_t portsAtOnce;
    };
    const auto run = [&](const Search& search) {
        const Ports ports(search.ports);
        std::optional<std::string> saved;
        if (search.saved != Saved::None) {
            saved = search.saved == Saved::Silent ? ports.FirstSilent() : ports.ControllerPort();
        }
        print(search.how, SecondsToSerialNumberRequest(ports, saved, search.portsAtOnce,
                                                       search.saved != Saved::Answering));
    };
    for (const Search& search : {
             Search{"parallel, 8 ports, controller last", 8, Saved::None, kAllAtOnce},
             Search{"parallel, 32 ports, controller last", 32, Saved::None, kAllAtOnce},
             Search{"parallel, saved port silent, 8 ports", 8, Saved::Silent, kAllAtOnce},
             Search{"parallel, saved port answering, 8 ports", 8, Saved::Answering, kAllAtOnce},
         }) {
        run(search);
    }
    cpu();
    for (const Search& search : {
             Search{"sequential, 8 ports, controller last", 8, Saved::None, kOneAtATime},
             Search{"sequential, saved port silent, 8 ports", 8, Saved::Silent, kOneAtATime},
         }) {
        run(search);
    }
    return status;
}
