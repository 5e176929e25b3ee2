#include "support/line_tap.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <system_error>

namespace cardpush::testing {
namespace {

[[noreturn]] void Fail(const std::string& what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

void WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;  // the other end is gone; the test sees it in what arrived
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

}  // namespace

LineTap::LineTap(const std::string& simDevice)
{
    // Held open by the tap so that its side never reads as hung up while the
    // tool has the device closed. It holds no lock, so the tool's exclusive
    // open still succeeds. Raw: no echo of injected bytes before the tool has
    // set its own line mode.
    heldSlave_ = tool_.OpenDevice();
    sim_ = ::open(simDevice.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (sim_ < 0) {
        Fail("open " + simDevice);
    }
    MakeRaw(sim_);
    if (::pipe2(wakePipe_, O_CLOEXEC) != 0) {
        Fail("pipe2");
    }
}

LineTap::~LineTap()
{
    if (thread_.joinable()) {
        const char stop = 's';
        WriteAll(wakePipe_[1], &stop, 1);
        thread_.join();
    }
    for (int fd : {sim_, heldSlave_, wakePipe_[0], wakePipe_[1]}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void LineTap::Start()
{
    thread_ = std::thread([this] { Copy(); });
}

void LineTap::Inject(const std::string& bytes)
{
    {
        std::lock_guard lock(mutex_);
        toTool_ += bytes;
    }
    const char wake = 'w';
    WriteAll(wakePipe_[1], &wake, 1);
}

void LineTap::DropToTool(std::size_t skip, std::size_t count)
{
    std::lock_guard lock(mutex_);
    passBeforeDrop_ = skip;
    toDrop_ = count;
}

// One thread copies both ways. The master is non-blocking and the bytes for
// the tool wait in toTool_, so that the tap never blocks on a tool that is
// busy (the tool reads only when its GUI thread is free, and that may be
// the thread that injects).
void LineTap::Copy()
{
    enum { kWake, kMaster, kSim };
    pollfd fds[3] = {{wakePipe_[0], POLLIN, 0}, {tool_.fd(), POLLIN, 0}, {sim_, POLLIN, 0}};
    char buffer[4096];
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            fds[kMaster].events = toTool_.empty() ? POLLIN : POLLIN | POLLOUT;
        }
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[kWake].revents & POLLIN) {
            const ssize_t n = ::read(wakePipe_[0], buffer, sizeof buffer);
            if (n <= 0 || std::string_view(buffer, static_cast<std::size_t>(n)).find('s') !=
                              std::string_view::npos) {
                return;
            }
        }
        if (fds[kMaster].revents & POLLIN) {
            const ssize_t n = ::read(tool_.fd(), buffer, sizeof buffer);
            for (ssize_t i = 0; i < n; ++i) {
                if (hook_) {
                    hook_(buffer[i]);
                }
                WriteAll(sim_, &buffer[i], 1);
            }
        }
        if (fds[kSim].revents & POLLIN) {
            const ssize_t n = ::read(sim_, buffer, sizeof buffer);
            std::lock_guard lock(mutex_);
            for (ssize_t i = 0; i < n; ++i) {
                if (passBeforeDrop_ > 0) {
                    --passBeforeDrop_;
                } else if (toDrop_ > 0) {
                    --toDrop_;
                    continue;
                }
                toTool_ += buffer[i];
            }
        }
        if (fds[kMaster].revents & POLLOUT) {
            std::lock_guard lock(mutex_);
            const ssize_t n = ::write(tool_.fd(), toTool_.data(), toTool_.size());
            if (n > 0) {
                toTool_.erase(0, static_cast<std::size_t>(n));
            }
        }
        // The simulator's side hangs up when it stops, and would wake the
        // poll at once for ever: it is watched no more.
        if (fds[kSim].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            fds[kSim].fd = -1;
        }
    }
}

}  // namespace cardpush::testing
