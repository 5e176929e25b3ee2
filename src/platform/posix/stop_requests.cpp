#include "platform/stop_requests.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <iterator>
#include <stdexcept>
#include <thread>
#include <utility>

#include "platform/main_thread.h"

namespace cardpush::platform {
namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The handler may do next to nothing: it writes one byte into a pipe, whose
// other end a thread of the watch reads. The pipe is made once and never
// closed, so that a handler still running on another thread while the watch
// goes never writes into a descriptor that has meanwhile been closed or
// reused.
struct Pipe {
    int read = -1;
    int write = -1;
};

Pipe MakePipe()
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::runtime_error("no pipe for the stop signals");
    }
    return Pipe{fds[0], fds[1]};
}

const Pipe& SignalPipe()
{
    static const Pipe pipe = MakePipe();
    return pipe;
}

std::atomic<int> g_wakeWrite{-1};
static_assert(std::atomic<int>::is_always_lock_free, "read inside a signal handler");

struct sigaction g_previous[std::size(kStopSignals)];

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

void Drain(int fd)
{
    char bytes[64];
    while (::read(fd, bytes, sizeof bytes) > 0) {
    }
}

}  // namespace

struct StopRequests::Watch {
    std::function<void()> onStop;
    // Written once by the destructor: the watching thread ends.
    Pipe quit = MakePipe();
    std::thread thread;

    ~Watch()
    {
        ::close(quit.read);
        ::close(quit.write);
    }

    void Run()
    {
        pollfd fds[2] = {{SignalPipe().read, POLLIN, 0}, {quit.read, POLLIN, 0}};
        for (;;) {
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return;
            }
            if (fds[1].revents != 0) {
                return;
            }
            if (fds[0].revents != 0) {
                Drain(SignalPipe().read);
                MainThread::Post(onStop);
            }
        }
    }
};

StopRequests::StopRequests(std::function<void()> onStop) : watch_(std::make_unique<Watch>())
{
    watch_->onStop = std::move(onStop);
    // Bytes of signals that no earlier watch served must not wake this one.
    Drain(SignalPipe().read);
    g_wakeWrite.store(SignalPipe().write);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // Other threads' blocking calls go on rather than fail with EINTR.
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
        ::sigaction(kStopSignals[i], &action, &g_previous[i]);
    }
    watch_->thread = std::thread([watch = watch_.get()] { watch->Run(); });
}

StopRequests::~StopRequests()
{
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
        ::sigaction(kStopSignals[i], &g_previous[i], nullptr);
    }
    g_wakeWrite.store(-1);
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(watch_->quit.write, &byte, 1);
    watch_->thread.join();
}

}  // namespace cardpush::platform
