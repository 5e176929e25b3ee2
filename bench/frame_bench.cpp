// Frames through the link to the controller simulator on a pseudo-terminal
// (no line speed: the figures are the tool's and the system's own cost, far
// above what a 9600 baud line carries, about 960 bytes a second):
//   - listing round trips: the listing request through WriteText, the
//     simulator's listing back through the serial event thread and the
//     receive parser on the GUI thread, until the link is idle again;
//   - upload throughput: a header frame and the line frames of one job file
//     through WriteFrame, until a listing shows the file stored.
// Usage: cardpush_bench_frames [round trips, default 500] [upload KiB, default 256]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_util.h"
#include "link/protocol.h"
#include "platform/main_thread.h"
#include "support/link_wait.h"

using namespace std::chrono_literals;
using cardpush::LinkSession;
using cardpush::bench::BenchLink;
using cardpush::bench::CpuMeter;
using cardpush::bench::Report;
namespace protocol = cardpush::protocol;

namespace {

// Connects quickly: the settle wait is for real devices.
const LinkSession::Timing kQuick{.settle = 10ms, .check = 20ms, .checks = 20};

}  // namespace

int main(int argc, char** argv)
{
    const int roundTrips = argc > 1 ? std::atoi(argv[1]) : 500;
    const int uploadKiB = argc > 2 ? std::atoi(argv[2]) : 256;

    BenchLink link({}, kQuick, {"JOB1", "JOB2", "JOB3"});
    if (!link.WaitIdle()) {
        std::fprintf(stderr, "the link did not connect: %s\n", link.sim.Messages().c_str());
        return 1;
    }

    {
        CpuMeter meter;
        for (int i = 0; i < roundTrips; ++i) {
            link.session->RefreshCardList();
            if (!link.WaitIdle()) {
                std::fprintf(stderr, "listing %d did not complete\n", i);
                return 1;
            }
        }
        const double wall = meter.WallSeconds();
        Report("listing round trip (3 names)", wall / roundTrips * 1e6, "us");
        Report("  CPU meanwhile", meter.PercentOfOneCore(), "% of one core");
    }

    {
        // Lines as job files hold them: a size field, then the rest.
        const std::string line = "1200 " + std::string(57, 'x');
        const std::string frame = protocol::LineFrame(line);
        const std::size_t lines = uploadKiB * 1024 / frame.size();
        const std::uint64_t size = lines * frame.size();

        CpuMeter meter;
        link.session->WriteFrame(protocol::HeaderFrame("BENCH", size));
        for (std::size_t i = 0; i < lines; ++i) {
            link.session->WriteFrame(frame);
        }
        const double written = meter.WallSeconds();
        // The listing is answered only after every byte before it was taken.
        link.session->RefreshCardList();
        const bool stored = cardpush::testing::ServeUntil([&] {
            const auto names = link.view.CardList();
            return link.session->LinkState() == protocol::LinkState::Idle && names.size() == 4;
        });
        if (!stored) {
            std::fprintf(stderr, "the upload was not stored: %s\n", link.sim.Messages().c_str());
            return 1;
        }
        const double wall = meter.WallSeconds();
        Report("upload: frames written (" + std::to_string(lines) + " line frames)",
               size / written / 1024, "KiB/s");
        Report("upload: stored and listed", size / wall / 1024, "KiB/s");
        Report("  CPU meanwhile", meter.PercentOfOneCore(), "% of one core");
    }
    return 0;
}
