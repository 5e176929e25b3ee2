// What the link thread (drayver) may do with the session it serves: wait for
// the replies that the receive handler has parsed, set the link state, and
// tell the session where the handshake stands. The session implements it;
// the link thread sees nothing else of it.
//
// Link thread only. The calls that wait throw LinkStopped once the session
// is being destroyed, and so does Pause.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/link_host.h"
#include "link/protocol.h"

namespace cardpush {

class TBComPort;
struct ProbeLine;

namespace platform {
class CommApi;
}

// How long the port search waits after opening a port before it sends "S",
// and between two checks for an answer; how long the handshake waits for
// the answer to one of its commands before it counts the controller as lost
// (a controller that reboots, or answers with fields it was not asked for);
// after how long without a byte a listing under way counts as cut short;
// how long the link rests after losing the controller before it searches
// again.
struct LinkTiming {
    std::chrono::milliseconds settle{3000};
    std::chrono::milliseconds check{200};
    int checks = 20;
    std::chrono::milliseconds handshakeReply{5000};
    std::chrono::milliseconds listingStall{3000};
    std::chrono::milliseconds reconnectPause{2000};
    // How many ports a pass of the search probes at the same time: 0 for
    // every port of the pass, 1 for one after another (what the benchmark
    // compares against).
    std::size_t portsAtOnce = 0;
};

// Thrown inside the link thread when the session is being destroyed.
struct LinkStopped {};

class LinkControl {
public:
    virtual LinkHost& Host() = 0;
    virtual platform::CommApi& Devices() = 0;
    virtual const LinkTiming& GetTiming() const = 0;

    // Makes a port for a pass of the port search, its received bytes fed
    // to line until AdoptPort.
    virtual std::unique_ptr<TBComPort> CreateProbePort(const std::shared_ptr<ProbeLine>& line) = 0;
    // Makes port (open, answered "S", asked "N") the session's port: the
    // line's unread reply fields and half-received field become the
    // session's, its bytes go to the session's receive handler from now on,
    // and a loss of an earlier port no longer counts. Returns the line's
    // protocol-log lines. The session owns the port until it goes or the
    // link is lost.
    virtual std::vector<std::string> AdoptPort(std::unique_ptr<TBComPort> port,
                                               ProbeLine& line) = 0;
    // The session's port, once adopted.
    virtual TBComPort* SessionPort() = 0;
    // Waits until ready() holds or the time is up; returns ready(). ready()
    // runs under the session's lock and is asked again whenever a port of
    // the search or the session has received something.
    virtual bool WaitUntil(const std::function<bool()>& ready,
                           std::chrono::milliseconds timeout) = 0;

    // Waits until a reply field has arrived or the time is up.
    virtual bool WaitForReply(std::chrono::milliseconds timeout) = 0;
    // Waits for the next reply field, at most timeout; nothing when none
    // has come by then. Throws std::runtime_error with the reason when the
    // port's events have stopped coming.
    virtual std::optional<std::string> NextReply(std::chrono::milliseconds timeout) = 0;
    // Sleeps unless stopped.
    virtual void Pause(std::chrono::milliseconds time) = 0;

    // Forgets the replies received so far: LastReply and the fields not yet
    // taken.
    virtual void ForgetReplies() = 0;
    // ForgetReplies, and drops a field half received too.
    virtual void ClearReceiveBuffers() = 0;

    virtual void SetLinkState(protocol::LinkState state) = 0;
    virtual void StoreValues(const LinkValues& values) = 0;
    // Just before the handshake's last command, the first listing request:
    // from now on the card commands are the operator's, and the listing is
    // read from its count byte on. Returns the request's number.
    virtual std::uint64_t BeginFirstListing() = 0;
    // After the handshake: returns when the listing asked for last has
    // brought no byte for the listing stall time since the request left
    // (the port's output queue empty), once per request. Throws
    // std::runtime_error with the reason once the port is lost (its events
    // have stopped, a write failed).
    struct ListingStall {
        std::uint64_t request = 0;
        // Not one byte has come since the request was made.
        bool silent = false;
    };
    virtual ListingStall AwaitListingStall() = 0;
    // The controller is lost: waits for the writes under way to end, refuses
    // new ones with the write error, closes the port and lets it go (the
    // next CreatePort makes another), forgets the handshake and tells the
    // host. The port search may begin again.
    virtual void LinkLost(const std::string& reason) = 0;
    // Whether the loss just handled was the operator's switch to another
    // controller (then the search begins at once); clears it.
    virtual bool TakeSwitch() = 0;

protected:
    ~LinkControl() = default;
};

}  // namespace cardpush
