// A line tap between the tool and the controller simulator, for the tests of
// faults on the serial line.
#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "support/pty_peer.h"

namespace cardpush::testing {

// A pseudo-terminal of its own that the tool opens in place of the
// simulator's, with every byte copied both ways between the two. Inject puts
// bytes on the line towards the tool; a hook sees each byte that the tool
// sends before the simulator gets it.
class LineTap {
public:
    // simDevice: the simulator's pseudo-terminal.
    explicit LineTap(const std::string& simDevice);
    ~LineTap();
    LineTap(const LineTap&) = delete;
    LineTap& operator=(const LineTap&) = delete;

    // The device the tool opens.
    const std::string& DevicePath() const { return tool_.path(); }
    // Any thread, without waiting: bytes for the tool, ahead of whatever the
    // simulator sends after this call.
    void Inject(const std::string& bytes);
    // Before the tap starts copying: runs on the tap's thread for each byte
    // the tool sends, before that byte goes on to the simulator.
    void OnToolByte(std::function<void(char)> hook) { hook_ = std::move(hook); }
    // Any thread: of the bytes the simulator sends after this call, passes
    // skip on to the tool and drops the next count, as a glitch on the line
    // would.
    void DropToTool(std::size_t skip, std::size_t count);
    void Start();

private:
    void Copy();

    PtyPeer tool_{true};
    int sim_ = -1;
    int heldSlave_ = -1;
    // Wakes the copying thread: 'w' for bytes to send, 's' to stop.
    int wakePipe_[2] = {-1, -1};
    std::mutex mutex_;
    // Guarded by mutex_: the bytes on their way to the tool, in line order,
    // and the glitch to come.
    std::string toTool_;
    std::size_t passBeforeDrop_ = 0;
    std::size_t toDrop_ = 0;
    std::function<void(char)> hook_;
    std::thread thread_;
};

}  // namespace cardpush::testing
