// The other end of a real pseudo-terminal, standing where a controller would
// be on a serial line: the device that the tool (or the layer under test)
// opens is path(); the peer reads and writes the other side.
//
// Free of GoogleTest: a failing system call throws std::system_error, which
// fails the test that made it. Not thread-safe, except that one thread may
// read while another writes.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace cardpush::testing {

class PtyPeer {
public:
    // nonBlocking: the peer's side never waits, for a caller that polls fd().
    explicit PtyPeer(bool nonBlocking = false);
    ~PtyPeer() { Hangup(); }
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    // "/dev/pts/N": the device that the tool opens.
    const std::string& path() const { return path_; }
    // The peer's side, for poll(); -1 once hung up.
    int fd() const { return master_; }

    // All of bytes, however many writes it takes.
    void Write(std::string_view bytes);
    // Whatever arrives until count bytes have come or patience runs out
    // (patience only keeps a broken build from hanging; nothing is timed).
    std::string Read(std::size_t count,
                     std::chrono::milliseconds patience = std::chrono::seconds(10));

    // Opens the device as another program would, in raw mode (no echo, no
    // line editing); the caller closes the descriptor.
    int OpenDevice() const;

    // Closes the peer's side: the device hangs up.
    void Hangup();

private:
    int master_ = -1;
    std::string path_;
};

// Sets a terminal's line to raw mode; throws when it cannot.
void MakeRaw(int fd);

}  // namespace cardpush::testing
