// The controller link: the serial port, the link state and the receive
// parser, shared by the GUI thread and the link thread (drayver).
//
// Threads:
//   - The GUI thread constructs and destroys the session, runs the receive
//     handler (the port delivers OnRxChar there) and the card commands.
//   - The link thread finds and identifies the controller (drayverUnit.h),
//     then watches for listings that stop coming.
//   - Uploads may write frames from a worker thread (WriteFrame).
//   - The port's event thread tells when it ends through an error.
// Every field that two threads share is guarded by one mutex; the link
// thread sleeps on a condition variable until the parser has news.
//
// Link states: 0 port search, 1..6 identification steps, 7 card listing
// under way, 8 connected and idle. No card command works before the
// identification handshake has taken its last step, so that none of them can
// cut into it; after that a refresh always works and frames that change the
// card go out only in state 8.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "link/link_host.h"
#include "link/receive_parser.h"
#include "platform/comm_api.h"

namespace cardpush {

class TBComPort;
class drayver;

class LinkSession {
public:
    // The host and the device layer must outlive the session.
    explicit LinkSession(LinkHost& host, platform::CommApi& api = platform::SystemCommApi());
    // GUI thread. Stops the link thread, then closes the port. Window changes
    // that the link thread has handed over and that are still pending run
    // before it returns, while the host is still there.
    ~LinkSession();
    LinkSession(const LinkSession&) = delete;
    LinkSession& operator=(const LinkSession&) = delete;

    // GUI thread, once: starts the link thread.
    void Start();

    // GUI thread: the port's received-characters handler. Reads Count bytes,
    // logs them and feeds them to the receive parser.
    void ComPortRxChar(TBComPort* Sender, std::int32_t Count);

    // GUI thread: empties the card listing and sends the listing request.
    // Does nothing before the handshake is over, and returns 0 then;
    // otherwise returns the request's number, which the host's
    // ListingCompleted and ListingStalled name. A listing still arriving is
    // read to its end and the new one after it; one that has brought no
    // byte for Timing::listingStall is taken as cut short and forgotten, so
    // the new one is read from its count byte on.
    std::uint64_t RefreshCardList();
    // GUI thread: sends the delete frame of one listed card name, only in
    // state 8. Returns whether it was sent. The caller checks the name
    // first (protocol::IsSafeCardName).
    bool DeleteCardFile(const std::string& name);
    // Any thread: writes one frame to the controller's port in one write and
    // waits for it. Throws EComPort when the write fails or no port is open.
    void WriteFrame(const std::string& frame);

    // State 8 after the handshake, with the port's events still coming:
    // card commands may send frames.
    bool CardCommandsAllowed() const;
    // Why card commands may not send frames now (Windows-1251, for the
    // operator); nothing when they may.
    std::optional<std::string> CardCommandRefusal() const;
    std::uint8_t LinkState() const;
    LinkValues Values() const;
    // The receive parser's state, for the curious (tests, the log).
    ReceiveState ParserState() const;
    // What the serial line carries per second: ten bits per byte (start,
    // eight data bits, stop) at the port's speed.
    std::uint64_t LineBytesPerSecond() const;

    // How long the port search waits after opening a port before it sends
    // "S", and between two checks for an answer; after how long without a
    // byte a listing under way counts as cut short. Tests shorten them. GUI
    // thread, before Start: the link thread reads them unguarded.
    struct Timing {
        std::chrono::milliseconds settle{3000};
        std::chrono::milliseconds check{200};
        int checks = 20;
        std::chrono::milliseconds listingStall{3000};
    };
    void SetTiming(Timing timing) { timing_ = timing; }
    const Timing& GetTiming() const { return timing_; }

private:
    friend class drayver;

    // Thrown inside the link thread when the session is being destroyed.
    struct Stopped {};
    // Reply fields kept for the handshake at most; a line that floods the
    // link with fields loses the oldest.
    static constexpr std::size_t kMaxQueuedReplies = 64;

    // --- for the link thread ---
    LinkHost& host() { return host_; }
    platform::CommApi& api() { return api_; }
    // Waits until a reply field has arrived or the time is up. Throws Stopped.
    bool WaitForReply(std::chrono::milliseconds timeout);
    // Waits for the next reply field, as long as it takes. Throws Stopped,
    // or std::runtime_error with the reason when the port's events have
    // stopped coming.
    std::string NextReply();
    // Sleeps unless stopped. Throws Stopped.
    void Pause(std::chrono::milliseconds time);
    // Forgets the replies received so far: LastReply and the fields not yet
    // taken by the link thread.
    void ForgetReplies();
    void ClearReceiveBuffers();
    void SetLinkState(std::uint8_t state);
    // Just before the handshake's last command, the first listing request:
    // from now on the card commands are the operator's, and the listing is
    // read from its count byte on. Returns the request's number.
    std::uint64_t BeginFirstListing();
    // After the handshake: returns when the listing asked for last has
    // brought no byte for Timing::listingStall since the request left (the
    // port's output queue empty), with that request's number (once per
    // request). Throws Stopped.
    std::uint64_t AwaitListingStall();
    // A port is about to be opened: events of an earlier one that ended
    // through an error no longer count.
    void ForgetLoss();
    // The port's event thread has ended through an error (event thread).
    void ReceptionEnded(const std::string& reason);
    void StoreValues(const LinkValues& values);
    TBComPort& CreatePort();
    TBComPort* Port() const;

    LinkHost& host_;
    platform::CommApi& api_;
    Timing timing_;

    mutable std::mutex mutex_;
    std::condition_variable news_;
    ReceiveState state_;
    // Reply fields completed since the link thread last forgot them, oldest
    // first. LastReply alone would not do: every receive event clears it, so
    // a field could be gone before the link thread has looked.
    std::deque<std::string> replies_;
    // When the last bytes arrived or the last listing request went out:
    // how a listing that has stopped coming is told from one on its way.
    std::chrono::steady_clock::time_point lastListingActivity_{};
    // Listing requests so far, and the last one whose stall was reported.
    std::uint64_t listingRequests_ = 0;
    std::uint64_t stallReported_ = 0;
    // The names of the listing under way, for ListingCompleted.
    std::vector<std::string> listing_;
    // Why the port's events stopped coming, once they have.
    std::optional<std::string> lost_;
    bool handshakeDone_ = false;
    bool stopping_ = false;
    LinkValues values_;
    std::unique_ptr<TBComPort> port_;

    std::unique_ptr<drayver> thread_;
};

}  // namespace cardpush
