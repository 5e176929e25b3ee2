// Small helpers around the device layer on real pseudo-terminals, whose
// other end a PtyPeer plays.
#pragma once

#include <dirent.h>

#include <string>

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

}  // namespace cardpush::platform::testing
