#include "sim/simulator.h"

#include <poll.h>
#include <sys/signalfd.h>
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

Simulator::Simulator(const SimOptions& options, CardFolder& card, int wire_log_fd, LogFn log,
                     LogFn status)
    : options_(options),
      protocol_(options.controller, card, log),
      wire_log_fd_(wire_log_fd),
      log_(std::move(log)),
      status_(std::move(status)),
      drop_armed_(options.drop_after_bytes > 0)
{
    OpenLine();
    if (!line_->Watching()) {
        log_(
            "cannot watch the device for opens and closes: replies are sent even when nobody "
            "has it open");
    }
}

void Simulator::Run(int signal_fd)
{
    for (;;) {
        const auto now = Clock::now();
        if (!line_ && now >= back_at_) {
            BringBack();
        }
        if (silence_ends_ && now >= *silence_ends_) {
            EndSilence();
        }
        protocol_.Expire(now);
        SendDue(now);

        // While the line is away its slots hold -1, which poll() passes over.
        pollfd fds[3] = {
            {signal_fd, POLLIN, 0},
            {line_ ? line_->WatchFd() : -1, POLLIN, 0},
            {line_ ? line_->MasterFd() : -1, 0, 0},
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
            Fail(Failure::kPtyIo, device_, errno);
        }
        // Opens and closes first: a reply must not go to a user who has already left.
        if (fds[1].revents & POLLIN) {
            if (line_->ServeWatch()) {
                LoseReplies("port closed");
            }
        }
        if (fds[2].revents & POLLOUT) {
            blocked_on_write_ = false;
        }
        if (fds[2].revents & POLLIN) {
            ReadLine(Clock::now());
        } else if (fds[2].revents & (POLLHUP | POLLERR)) {
            // Cannot happen while the line holds its own slave open; stop rather than spin.
            Fail(Failure::kPtyHungUp, device_);
        }
        // Signals last, and only once this round's bytes are in: what was sent before a drop or
        // a silence was asked for is taken in before it.
        if ((fds[0].revents & POLLIN) && !ServeSignals(signal_fd, Clock::now())) {
            return;
        }
    }
}

bool Simulator::ServeSignals(int signal_fd, Clock::time_point now)
{
    for (;;) {
        signalfd_siginfo info{};
        const ssize_t n = read(signal_fd, &info, sizeof info);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n != static_cast<ssize_t>(sizeof info)) {
            return true;
        }
        const auto signo = static_cast<int>(info.ssi_signo);
        if (signo == kDropSignal) {
            if (line_) {
                DropLine("SIGUSR1", now);
            } else {
                BringBack();
            }
        } else if (signo == kSilenceSignal) {
            if (silent_) {
                EndSilence();
            } else {
                BeginSilence(now);
            }
        } else {
            return false;
        }
    }
}

void Simulator::OpenLine()
{
    line_.emplace();
    device_ = line_->SlavePath();
    if (!options_.link.empty()) {
        link_.emplace(options_.link, device_);
    }
}

void Simulator::DropLine(const std::string& why, Clock::time_point now)
{
    LoseReplies("line dropped");
    protocol_.Abandon("line dropped");
    // The link goes before the device, so that it never leads to a device number that another
    // pseudo-terminal may take next. Closing the master hangs the slave up: whoever has it open
    // sees a hang-up, reads find the end and writes fail (EIO).
    link_.reset();
    line_.reset();
    read_resume_ = {};
    back_at_ = now + options_.drop_pause;
    log_("line " + device_ + " dropped (" + why + "), back in " +
         std::to_string(options_.drop_pause.count()) + " ms or on SIGUSR1");
    status_("dropped");
}

void Simulator::BringBack()
{
    OpenLine();
    log_("line back on " + device_ + (options_.link.empty() ? "" : " as " + options_.link));
    protocol_.LineBack();
    status_(device_);
}

void Simulator::BeginSilence(Clock::time_point now)
{
    silent_ = true;
    if (options_.silent_for.count() > 0) {
        silence_ends_ = now + options_.silent_for;
    }
    LoseReplies("silent");
    protocol_.Abandon("silent");
    log_("silent" + (silence_ends_ ? " for " + std::to_string(options_.silent_for.count()) + " ms"
                                   : std::string(" until SIGUSR2")));
    status_("silent");
}

void Simulator::EndSilence()
{
    silent_ = false;
    silence_ends_.reset();
    log_("answering again");
    status_("answering");
}

void Simulator::LoseReplies(const std::string& why)
{
    if (!outgoing_.empty()) {
        log_(why + ": " + std::to_string(outgoing_.size()) + " reply piece(s) not sent");
    }
    outgoing_.clear();
    blocked_on_write_ = false;
    // A late reply that is lost holds nothing back any more.
    next_piece_ = {};
}

void Simulator::ReadLine(Clock::time_point now)
{
    std::size_t limit = kReadChunk;
    if (options_.baud > 0) {
        const auto per_slice =
            static_cast<std::size_t>(options_.baud / 10 * kPacedSlice.count() / 1000);
        limit = std::clamp<std::size_t>(per_slice, 1, kReadChunk);
    }
    if (drop_armed_) {
        // Bytes past the drop stay unread: they go with the line.
        limit = static_cast<std::size_t>(
            std::min<std::uint64_t>(limit, options_.drop_after_bytes - received_));
    }
    char buffer[kReadChunk];
    const ssize_t n = read(line_->MasterFd(), buffer, limit);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        return;
    }
    if (n <= 0) {
        Fail(Failure::kPtyIo, device_, n < 0 ? errno : 0);
    }
    received_ += static_cast<std::uint64_t>(n);
    const std::string_view bytes(buffer, static_cast<std::size_t>(n));
    if (wire_log_fd_ >= 0) {
        WriteAll(wire_log_fd_, bytes);
    }
    if (options_.baud > 0) {
        // n bytes of 10 bits each hold the line for this long; nothing more is read before.
        const auto line_time = std::chrono::nanoseconds(static_cast<std::int64_t>(n) *
                                                        10'000'000'000LL / options_.baud);
        // Woken a little after the line fell free (the timer's slack), the
        // line was busy all along: its time goes on from where it fell free,
        // or every read would lose the slack and the line run slow. After a
        // longer pause the line was idle, and starts again now.
        const bool busy = now - read_resume_ < kPacedSlice;
        read_resume_ = (busy ? read_resume_ : now) + line_time;
    }
    if (silent_) {
        log_("silent: ignored " + Printable(bytes));
    } else {
        for (const Reply& reply : protocol_.Receive(bytes, now)) {
            Schedule(reply, now);
        }
    }
    if (drop_armed_ && received_ >= options_.drop_after_bytes) {
        drop_armed_ = false;
        DropLine("byte " + std::to_string(received_) + " received", now);
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
        if (!line_ || !line_->PeerOpen()) {
            log_("nobody on the line: reply piece " + Printable(piece.bytes) + " lost");
            outgoing_.pop_front();
            continue;
        }
        const ssize_t n = write(line_->MasterFd(), piece.bytes.data(), piece.bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            blocked_on_write_ = true;
            break;
        }
        if (n < 0) {
            Fail(Failure::kPtyIo, device_, errno);
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
    if (!line_) {
        earliest(back_at_);
    }
    if (silence_ends_) {
        earliest(*silence_ends_);
    }
    if (!wake) {
        return -1;
    }
    // Rounded up, so a wake-up never comes a hair early and loops without work.
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*wake - now);
    return static_cast<int>(std::clamp<std::int64_t>(wait.count(), 0, 60'000));
}

}  // namespace cardpush::sim
