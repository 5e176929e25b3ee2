#pragma once

#include <deque>
#include <string>

#include "sim/options.h"
#include "sim/protocol.h"
#include "sim/pty_line.h"

namespace cardpush::sim {

// The event loop: moves bytes between the pseudo-terminal and the protocol, records what it
// receives, paces reading to the line speed and sends replies on their schedule (late, in
// pieces). Single-threaded; Run blocks in poll() between events.
class Simulator {
public:
    // line, card and the descriptors must outlive the simulator. wire_log_fd is -1 for none.
    Simulator(const SimOptions& options, PtyLine& line, CardFolder& card, int wire_log_fd,
              LogFn log);

    // Serves the line until stop_fd becomes readable. Throws SimError when the line fails.
    void Run(int stop_fd);

private:
    struct Piece {
        std::string bytes;
        Clock::time_point due;
    };

    void Schedule(const Reply& reply, Clock::time_point now);
    void SendDue(Clock::time_point now);
    void ReadLine(Clock::time_point now);
    int PollTimeout(Clock::time_point now) const;

    SimOptions options_;
    PtyLine& line_;
    ControllerProtocol protocol_;
    int wire_log_fd_;
    LogFn log_;

    std::deque<Piece> outgoing_;
    Clock::time_point next_piece_{};
    bool blocked_on_write_ = false;
    Clock::time_point read_resume_{};
};

}  // namespace cardpush::sim
