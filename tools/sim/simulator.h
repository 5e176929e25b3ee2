#pragma once

#include <signal.h>

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "sim/options.h"
#include "sim/protocol.h"
#include "sim/pty_line.h"

namespace cardpush::sim {

// Drops the line, or brings a dropped line back at once.
constexpr int kDropSignal = SIGUSR1;
// Begins or ends a silence.
constexpr int kSilenceSignal = SIGUSR2;

// The event loop: moves bytes between the pseudo-terminal and the protocol, records what it
// receives, paces reading to the line speed and sends replies on their schedule (late, in
// pieces). It owns the line: a dropped line is closed, and a fresh pseudo-terminal (with the
// link pointed at it) takes its place when it comes back. Single-threaded; Run blocks in poll()
// between events.
class Simulator {
public:
    // card and the descriptor must outlive the simulator. wire_log_fd is -1 for none. `status`
    // gets one word or device path per change of the line or of the silence (see --help).
    // Opens the line and its link; throws SimError when it can't.
    Simulator(const SimOptions& options, CardFolder& card, int wire_log_fd, LogFn log,
              LogFn status);

    // The line's device; the last one while the line is away.
    const std::string& DevicePath() const { return device_; }

    // Serves the line until a signal other than kDropSignal and kSilenceSignal comes on
    // signal_fd, a non-blocking signalfd. Throws SimError when the line fails.
    void Run(int signal_fd);

private:
    struct Piece {
        std::string bytes;
        Clock::time_point due;
    };

    void OpenLine();
    void DropLine(const std::string& why, Clock::time_point now);
    void BringBack();
    void BeginSilence(Clock::time_point now);
    void EndSilence();
    void LoseReplies(const std::string& why);
    bool ServeSignals(int signal_fd, Clock::time_point now);
    void Schedule(const Reply& reply, Clock::time_point now);
    void SendDue(Clock::time_point now);
    void ReadLine(Clock::time_point now);
    int PollTimeout(Clock::time_point now) const;

    SimOptions options_;
    ControllerProtocol protocol_;
    int wire_log_fd_;
    LogFn log_;
    LogFn status_;

    // Empty while the line is away; the link goes with its device.
    std::optional<PtyLine> line_;
    std::optional<DeviceLink> link_;
    std::string device_;
    Clock::time_point back_at_{};  // while the line is away: when it comes back

    std::uint64_t received_ = 0;
    bool drop_armed_ = false;  // --drop-after-bytes has yet to fire

    bool silent_ = false;
    std::optional<Clock::time_point> silence_ends_;

    std::deque<Piece> outgoing_;
    Clock::time_point next_piece_{};
    bool blocked_on_write_ = false;
    Clock::time_point read_resume_{};
};

}  // namespace cardpush::sim
