// The other end of a real pseudo-terminal, standing where a controller
// would be on a serial line, and small helpers around the device layer.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include "platform/comm_api.h"

namespace cardpush::platform::testing {

// Generous bound on how long a test waits for something that must happen;
// it only keeps a broken build from hanging, nothing is timed.
constexpr int kPatienceMs = 10000;

class PtyPeer {
public:
    PtyPeer()
    {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        EXPECT_GE(master_, 0);
        EXPECT_EQ(::grantpt(master_), 0);
        EXPECT_EQ(::unlockpt(master_), 0);
        char name[64] = {};
        EXPECT_EQ(::ptsname_r(master_, name, sizeof name), 0);
        path_ = name;
    }
    ~PtyPeer() { Hangup(); }
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    // "/dev/pts/N": the device that the layer under test opens.
    const std::string& path() const { return path_; }

    void Write(std::string_view bytes)
    {
        while (!bytes.empty()) {
            const ssize_t n = ::write(master_, bytes.data(), bytes.size());
            ASSERT_GT(n, 0);
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
    }

    // Whatever arrives until count bytes have come (or patience runs out).
    std::string Read(std::size_t count)
    {
        std::string got;
        while (got.size() < count) {
            pollfd fd{master_, POLLIN, 0};
            if (::poll(&fd, 1, kPatienceMs) <= 0) {
                break;
            }
            char chunk[512];
            const ssize_t n = ::read(master_, chunk, std::min(sizeof chunk, count - got.size()));
            if (n <= 0) {
                break;
            }
            got.append(chunk, static_cast<std::size_t>(n));
        }
        return got;
    }

    // Closes the controller's end: the device hangs up.
    void Hangup()
    {
        if (master_ >= 0) {
            ::close(master_);
            master_ = -1;
        }
    }

private:
    int master_ = -1;
    std::string path_;
};

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

}  // namespace cardpush::platform::testing
