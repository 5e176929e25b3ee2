#include "app/stop_signals.h"

#include <utility>

#ifndef _WIN32

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <iterator>
#include <stdexcept>

namespace cardpush {
namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The handler may do next to nothing: it writes one byte into a pipe, whose
// other end the GUI thread watches. The pipe is made once and never closed,
// so that a handler still running on another thread while the watch goes
// never writes into a descriptor that has meanwhile been closed or reused.
struct WakePipe {
    int read = -1;
    int write = -1;
};

std::atomic<int> g_wakeWrite{-1};
static_assert(std::atomic<int>::is_always_lock_free, "read inside a signal handler");

struct sigaction g_previous[std::size(kStopSignals)];

const WakePipe& ThePipe()
{
    static const WakePipe pipe = [] {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
            throw std::runtime_error("no pipe for the stop signals");
        }
        return WakePipe{fds[0], fds[1]};
    }();
    return pipe;
}

extern "C" void OnStopSignal(int)
{
    const int savedErrno = errno;
    const int fd = g_wakeWrite.load();
    if (fd >= 0) {
        const char byte = 1;
        // A full pipe already holds a wake-up: a byte lost then loses nothing.
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

}  // namespace

StopSignals::StopSignals(std::function<void()> onStop) : onStop_(std::move(onStop))
{
    const WakePipe& pipe = ThePipe();
    notifier_ = new QSocketNotifier(pipe.read, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &StopSignals::Serve);
    g_wakeWrite.store(pipe.write);

    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // Other threads' blocking calls go on rather than fail with EINTR.
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
        ::sigaction(kStopSignals[i], &action, &g_previous[i]);
    }
}

StopSignals::~StopSignals()
{
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
        ::sigaction(kStopSignals[i], &g_previous[i], nullptr);
    }
    g_wakeWrite.store(-1);
    // Bytes of signals that were never served must not wake a later watch.
    char bytes[64];
    while (::read(ThePipe().read, bytes, sizeof bytes) > 0) {
    }
}

void StopSignals::Serve()
{
    char bytes[64];
    while (::read(ThePipe().read, bytes, sizeof bytes) > 0) {
    }
    onStop_();
}

}  // namespace cardpush

#else

namespace cardpush {

// A windowed program on Windows gets no such signals: nothing to watch.
StopSignals::StopSignals(std::function<void()> onStop) : onStop_(std::move(onStop)) {}

StopSignals::~StopSignals() = default;

void StopSignals::Serve()
{
    onStop_();
}

}  // namespace cardpush

#endif
