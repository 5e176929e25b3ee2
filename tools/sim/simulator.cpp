#include "sim/simulator.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "sim/failure.h"

namespace cardpush::sim {
namespace {

constexpr std::size_t kReadChunk = 4096;
// Paced reading takes this much line time per read, so replies don't lag far behind.
constexpr auto kPacedSlice = std::chrono::milliseconds(20);

void WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            Fail(Failure::kWireLog, {}, errno);
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

}  // namespace

Simulator::Simulator(const SimOptions& options, PtyLine& line, CardFolder& card, int wire_log_fd,
                     LogFn log)
    : options_(options),
      line_(line),
      protocol_(options.controller, card, log),
      wire_log_fd_(wire_log_fd),
      log_(std::move(log))
{
}

void Simulator::Run(int stop_fd)
{
    for (;;) {
        const auto now = Clock::now();
        protocol_.Expire(now);
        SendDue(now);

        pollfd fds[3] = {
            {stop_fd, POLLIN, 0},
            {line_.WatchFd(), POLLIN, 0},
            {line_.MasterFd(), 0, 0},
        };
        if (now >= read_resume_) {
            fds[2].events |= POLLIN;
        }
        if (blocked_on_write_) {
            fds[2].events |= POLLOUT;
        }
        if (poll(fds, 3, PollTimeout(now)) < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail(Failure::kPtyIo, line_.SlavePath(), errno);
        }
        if (fds[0].revents != 0) {
            return;
        }
        // Opens and closes first: a reply must not go to a user who has already left.
        if (fds[1].revents & POLLIN) {
            if (line_.ServeWatch() && !outgoing_.empty()) {
                log_("port closed: " + std::to_string(outgoing_.size()) +
                     " reply piece(s) not sent");
                outgoing_.clear();
                blocked_on_write_ = false;
            }
        }
        if (fds[2].revents & POLLOUT) {
            blocked_on_write_ = false;
        }
        if (fds[2].revents & POLLIN) {
            ReadLine(Clock::now());
        } else if (fds[2].revents & (POLLHUP | POLLERR)) {
            // Cannot happen while the line holds its own slave open; stop rather than spin.
            Fail(Failure::kPtyHungUp, line_.SlavePath());
        }
    }
}

void Simulator::ReadLine(Clock::time_point now)
{
    std::size_t limit = kReadChunk;
    if (options_.baud > 0) {
        const auto per_slice =
            static_cast<std::size_t>(options_.baud / 10 * kPacedSlice.count() / 1000);
        limit = std::clamp<std::size_t>(per_slice, 1, kReadChunk);
    }
    char buffer[kReadChunk];
    const ssize_t n = read(line_.MasterFd(), buffer, limit);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        return;
    }
    if (n <= 0) {
        Fail(Failure::kPtyIo, line_.SlavePath(), n < 0 ? errno : 0);
    }
    const std::string_view bytes(buffer, static_cast<std::size_t>(n));
    if (wire_log_fd_ >= 0) {
        WriteAll(wire_log_fd_, bytes);
    }
    if (options_.baud > 0) {
        // n bytes of 10 bits each hold the line for this long; nothing more is read before.
        const auto line_time = std::chrono::nanoseconds(static_cast<std::int64_t>(n) *
                                                        10'000'000'000LL / options_.baud);
        read_resume_ = std::max(now, read_resume_) + line_time;
    }
    for (const Reply& reply : protocol_.Receive(bytes, now)) {
        Schedule(reply, now);
    }
}

void Simulator::Schedule(const Reply& reply, Clock::time_point now)
{
    // Replies leave in the order they were asked for: a late one holds back those after it.
    Clock::time_point due = std::max(now + reply.delay, next_piece_);
    const std::size_t piece =
        options_.split > 0 ? static_cast<std::size_t>(options_.split) : reply.bytes.size();
    for (std::size_t at = 0; at < reply.bytes.size(); at += piece) {
        if (options_.split > 0 && at > 0) {
            due += options_.split_delay;
        }
        outgoing_.push_back(Piece{reply.bytes.substr(at, piece), due});
    }
    next_piece_ = options_.split > 0 ? due + options_.split_delay : due;
    log_("reply " + Printable(reply.bytes) +
         (reply.delay.count() > 0 ? " in " + std::to_string(reply.delay.count()) + " ms" : ""));
}

void Simulator::SendDue(Clock::time_point now)
{
    while (!blocked_on_write_ && !outgoing_.empty() && outgoing_.front().due <= now) {
        Piece& piece = outgoing_.front();
        if (!line_.PeerOpen()) {
            log_("nobody on the line: reply piece " + Printable(piece.bytes) + " lost");
            outgoing_.pop_front();
            continue;
        }
        const ssize_t n = write(line_.MasterFd(), piece.bytes.data(), piece.bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            blocked_on_write_ = true;
            break;
        }
        if (n < 0) {
            Fail(Failure::kPtyIo, line_.SlavePath(), errno);
        }
        piece.bytes.erase(0, static_cast<std::size_t>(n));
        if (piece.bytes.empty()) {
            outgoing_.pop_front();
        }
    }
}

int Simulator::PollTimeout(Clock::time_point now) const
{
    std::optional<Clock::time_point> wake = protocol_.Deadline();
    const auto earliest = [&wake](Clock::time_point t) { wake = wake ? std::min(*wake, t) : t; };
    if (!outgoing_.empty() && !blocked_on_write_) {
        earliest(outgoing_.front().due);
    }
    if (now < read_resume_) {
        earliest(read_resume_);
    }
    if (!wake) {
        return -1;
    }
    // Rounded up, so a wake-up never comes a hair early and loops without work.
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*wake - now);
    return static_cast<int>(std::clamp<std::int64_t>(wait.count(), 0, 60'000));
}

}  // namespace cardpush::sim
