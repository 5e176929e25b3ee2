// Small helpers around the device layer on real pseudo-terminals, whose
// other end a PtyPeer plays.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#include "platform/comm_api.h"
#include "support/pty_peer.h"

namespace cardpush::platform::testing {

// Generous bound on how long a test waits for something that must happen;
// it only keeps a broken build from hanging, nothing is timed.
constexpr int kPatienceMs = 10000;

using cardpush::testing::PtyPeer;

// An OVERLAPPED with its own manual-reset event, as the serial component
// makes them.
class Overlapped {
public:
    explicit Overlapped(CommApi& api) : api_(api)
    {
        block_.hEvent = api_.CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    ~Overlapped() { api_.CloseHandle(block_.hEvent); }
    Overlapped(const Overlapped&) = delete;
    Overlapped& operator=(const Overlapped&) = delete;

    OVERLAPPED* get() { return &block_; }
    HANDLE event() const { return block_.hEvent; }
    bool Completes()
    {
        return api_.WaitForSingleObject(block_.hEvent, kPatienceMs) == WAIT_OBJECT_0;
    }
    bool Signalled() { return api_.WaitForSingleObject(block_.hEvent, 0) == WAIT_OBJECT_0; }

private:
    CommApi& api_;
    OVERLAPPED block_{};
};

// Every byte value once, 0 to 255 in order: what a transfer must carry
// unchanged.
inline std::string AllByteValues()
{
    std::string bytes;
    for (int i = 0; i < 256; ++i) {
        bytes.push_back(static_cast<char>(i));
    }
    return bytes;
}

// The entries of a folder such as /proc/self/fd or /proc/self/task, to see
// that descriptors and threads don't leak.
inline std::size_t EntriesIn(const char* folder)
{
    std::size_t count = 0;
    if (DIR* dir = ::opendir(folder)) {
        while (::readdir(dir) != nullptr) {
            ++count;
        }
        ::closedir(dir);
    }
    return count;
}

// A terminal's settings as text, to compare them and to show them when they
// differ. On a pseudo-terminal's peer side they are those of the device.
inline std::string LineSettings(int fd)
{
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        return std::string("tcgetattr: ") + std::strerror(errno);
    }
    std::string text = "iflag " + std::to_string(t.c_iflag) + " oflag " +
                       std::to_string(t.c_oflag) + " cflag " + std::to_string(t.c_cflag) +
                       " lflag " + std::to_string(t.c_lflag) + " speed " +
                       std::to_string(::cfgetospeed(&t)) + " cc";
    for (const cc_t c : t.c_cc) {
        text += ' ' + std::to_string(c);
    }
    return text;
}

// Counts the opens of a node, by anyone, from now on. An O_PATH look counts
// as none: it does not reach the device's driver.
class OpenWatch {
public:
    explicit OpenWatch(const std::string& path) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        if (fd_ < 0 || ::inotify_add_watch(fd_, path.c_str(), IN_OPEN) < 0) {
            throw std::system_error(errno, std::generic_category(), "inotify " + path);
        }
    }
    ~OpenWatch() { ::close(fd_); }
    OpenWatch(const OpenWatch&) = delete;
    OpenWatch& operator=(const OpenWatch&) = delete;

    int Opens()
    {
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; (n = ::read(fd_, buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                opens_ += (event->mask & IN_OPEN) != 0 ? 1 : 0;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return opens_;
    }

private:
    int fd_;
    int opens_ = 0;
};

// A pseudo-terminal that is another process's controlling terminal, as a
// shell's or a serial login's is: a child in a session of its own holds it
// until the object goes. Throws std::system_error when it cannot be made.
class ControllingTerminal {
public:
    ControllingTerminal()
    {
        const int slave = ::open(peer_.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        int ready[2];
        if (slave < 0 || ::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(hold_, O_CLOEXEC) != 0) {
            throw std::system_error(errno, std::generic_category(), "controlling terminal");
        }
        child_ = ::fork();
        if (child_ == 0) {
            // Async-signal-safe calls only: the test may have threads.
            char byte = ::setsid() > 0 && ::ioctl(slave, TIOCSCTTY, 0) == 0 ? 1 : 0;
            [[maybe_unused]] const ssize_t w = ::write(ready[1], &byte, 1);
            ::close(hold_[1]);
            while (::read(hold_[0], &byte, 1) > 0) {
            }
            ::_exit(0);
        }
        ::close(slave);
        ::close(ready[1]);
        ::close(hold_[0]);
        char byte = 0;
        const bool taken = child_ > 0 && ::read(ready[0], &byte, 1) == 1 && byte == 1;
        ::close(ready[0]);
        if (!taken) {
            Release();
            throw std::system_error(ENOTTY, std::generic_category(), "controlling terminal");
        }
    }
    ~ControllingTerminal() { Release(); }
    ControllingTerminal(const ControllingTerminal&) = delete;
    ControllingTerminal& operator=(const ControllingTerminal&) = delete;

    const std::string& path() const { return peer_.path(); }
    PtyPeer& peer() { return peer_; }

private:
    void Release()
    {
        if (hold_[1] >= 0) {
            ::close(hold_[1]);
            hold_[1] = -1;
        }
        if (child_ > 0) {
            ::waitpid(child_, nullptr, 0);
            child_ = -1;
        }
    }

    PtyPeer peer_;
    int hold_[2] = {-1, -1};
    pid_t child_ = -1;
};

}  // namespace cardpush::platform::testing
