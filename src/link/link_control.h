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
#include <optional>
#include <string>

#include "link/link_host.h"
#include "link/protocol.h"

namespace cardpush {

class TBComPort;

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
};

// Thrown inside the link thread when the session is being destroyed.
struct LinkStopped {};

class LinkControl {
public:
    virtual LinkHost& Host() = 0;
    virtual platform::CommApi& Devices() = 0;
    virtual const LinkTiming& GetTiming() const = 0;

    // Makes the session's port, with the receive handler hooked to it. The
    // session owns it; it stays until the session goes or the link is lost.
    virtual TBComPort& CreatePort() = 0;

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
    // A port is about to be opened: events of an earlier one that ended
    // through an error no longer count.
    virtual void ForgetLoss() = 0;

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

protected:
    ~LinkControl() = default;
};

}  // namespace cardpush
