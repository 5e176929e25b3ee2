// How much CPU the tool's link burns while it waits, as percent of one core
// of the whole process (GUI thread, link thread, serial event thread):
//   - on a port whose controller never answers (the settle wait and the
//     checks after "S"), with the tool's own timing;
//   - searching when no port of the list can be opened;
//   - connected and idle after the first listing.
// Usage: cardpush_bench_link_cpu [seconds per figure, default 4]

#include <chrono>
#include <cstdlib>
#include <string>

#include "bench_util.h"
#include "platform/main_thread.h"
#include "support/port_list_override.h"

using namespace std::chrono_literals;
using cardpush::LinkSession;
using cardpush::bench::BenchLink;
using cardpush::bench::CpuMeter;
using cardpush::bench::Report;
using cardpush::bench::ServeFor;

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 4.0;
    const auto span = std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    const LinkSession::Timing toolTiming{};
    cardpush::platform::MainThread::Bind();

    {
        BenchLink link({"--no-answer"}, toolTiming);
        CpuMeter meter;
        ServeFor(span);
        Report("waiting for an answer that never comes", meter.PercentOfOneCore(), "% of one core");
    }
    {
        // The saved port is missing and so is the only port of the list, so
        // every pass over the list ends at once.
        cardpush::testing::PortListOverride devices({"/nonexistent/cardpush-bench-port"});
        cardpush::testing::SessionHarness harness(
            devices, cardpush::testing::SavedPort("/nonexistent/cardpush-bench-saved"), toolTiming);
        harness.Session().Start();
        CpuMeter meter;
        ServeFor(span);
        Report("searching while no port opens", meter.PercentOfOneCore(), "% of one core");
        const auto attempts = harness.view.LinkLogLines().size();
        Report("  port attempts per second meanwhile", attempts / meter.WallSeconds(), "/s");
    }
    {
        BenchLink link({}, toolTiming, {"JOB1", "JOB2", "JOB3"});
        if (!link.WaitIdle()) {
            Report("connected and idle: the link did not connect", 0, "");
            return 1;
        }
        CpuMeter meter;
        ServeFor(span);
        Report("connected and idle", meter.PercentOfOneCore(), "% of one core");
    }
    return 0;
}
