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
// When the controller is lost, the link thread closes the port and searches
// again (drayverUnit.h); writes under way end first, and writes after it
// fail with the write error until a controller has answered again.
// Every field that two threads share is guarded by one mutex; the link
// thread sleeps on a condition variable until the parser has news.
//
// Link states (protocol::LinkState): the port search, the identification
// steps, a card listing under way, connected and idle. No card command works
// before the identification handshake has taken its last step, so that none
// of them can cut into it; after that a refresh always works and frames that
// change the card go out only while idle.
//
// Each handshake that ends begins a new connection (LinkConnection). A card
// command is bound to the connection it started on: its frames go out only
// while that connection lasts and the link is idle, so a command never goes
// on with a controller that answered after a loss, even on the same port.
//
// The GUI thread's entry points check their thread in debug builds.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "link/card_link.h"
#include "link/link_control.h"
#include "link/link_host.h"
#include "link/receive_parser.h"
#include "platform/comm_api_fwd.h"

namespace cardpush {

class TBComPort;
class drayver;

class LinkSession final : public CardLink, private LinkControl {
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
    // GUI thread: lets the controller connected now go and runs the whole
    // search and handshake again, port first (the host's SavedPort should
    // name it by then): the operator picked another controller. The link is
    // lost as after a pulled cable, with reason as its why, but the search
    // begins without the rest.
    void SwitchController(const std::string& reason);

    // GUI thread: the port's received-characters handler. Reads Count bytes,
    // logs them and feeds them to the receive parser.
    void ComPortRxChar(TBComPort* Sender, std::int32_t Count);

    // --- the card commands' link (card_link.h) ---
    // A listing still arriving when a refresh asks for another is read to its
    // end and the new one after it; one that has brought no byte for
    // Timing::listingStall is taken as cut short and forgotten, so the new
    // one is read from its count byte on. The request's number is what the
    // host's ListingCompleted and ListingStalled name.
    std::uint64_t RefreshCardList() override;
    void WriteCardFrame(std::string_view frame, const LinkConnection& connection) override;
    LinkConnection Connection() const override;
    CardListing LastListing() const override;
    std::optional<std::vector<std::string>> AwaitListing(std::uint64_t request,
                                                         const LinkConnection& connection) override;
    std::optional<std::string> CardCommandRefusal() const override;
    // Ten bits per byte (start, eight data bits, stop) at the port's speed.
    std::uint64_t LineBytesPerSecond() const override;

    // Any thread: writes one frame, or whole frames back to back, to the
    // controller's port and waits for it. Throws EComPort when the write
    // fails or no port is open. A write longer than kMaxWriteBytes goes out
    // in pieces of that size (the bytes on the line are the same): a
    // write's time-out grows with its size, and a controller that stops
    // reading is noticed when one piece runs out of it.
    void WriteFrame(std::string_view frame);
    // GUI thread: sends the delete frame of one listed card name bound to
    // connection (WriteCardFrame). An unsafe name (protocol::IsSafeCardName)
    // is never sent: std::invalid_argument.
    void DeleteCardFile(const std::string& name, const LinkConnection& connection);
    // Idle after the handshake, with the port's events still coming: card
    // commands may send frames.
    bool CardCommandsAllowed() const;
    protocol::LinkState LinkState() const;
    LinkValues Values() const;
    // The receive parser's state, for the curious (tests, the log).
    ReceiveState ParserState() const;

    // The link's timing (link_control.h); tests shorten it. GUI thread,
    // before Start: the link thread reads it unguarded.
    using Timing = LinkTiming;
    void SetTiming(Timing timing);
    const Timing& GetTiming() const override { return timing_; }

private:
    // --- for the link thread (LinkControl) ---
    LinkHost& Host() override { return host_; }
    platform::CommApi& Devices() override { return api_; }
    std::unique_ptr<TBComPort> CreateProbePort(const std::shared_ptr<ProbeLine>& line) override;
    std::vector<std::string> AdoptPort(std::unique_ptr<TBComPort> port, ProbeLine& line) override;
    bool WaitUntil(const std::function<bool()>& ready, std::chrono::milliseconds timeout) override;
    TBComPort* SessionPort() override { return Port(); }
    bool WaitForReply(std::chrono::milliseconds timeout) override;
    std::optional<std::string> NextReply(std::chrono::milliseconds timeout) override;
    void Pause(std::chrono::milliseconds time) override;
    void ForgetReplies() override;
    void ClearReceiveBuffers() override;
    void SetLinkState(protocol::LinkState state) override;
    void StoreValues(const LinkValues& values) override;
    std::uint64_t BeginFirstListing() override;
    ListingStall AwaitListingStall() override;
    void LinkLost(const std::string& reason) override;
    bool TakeSwitch() override;

    // The port's event thread has ended through an error (event thread).
    void ReceptionEnded(const std::string& reason);
    // The port is lost (any thread): the link thread's watch learns it.
    void NoteLoss(const std::string& reason);
    // Writes bytes on the session's port, counted among the writes that a
    // loss waits for; refused with the write error while the link is down,
    // and, with a connection, with ELinkChanged unless it lasts and the link
    // is idle.
    void WriteCounted(std::string_view bytes, const LinkConnection* connection);
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
    // The listing that completed last, and the connection now.
    CardListing lastListing_;
    LinkConnection connection_;
    // Whether any byte has come since the last listing request.
    bool receivedSinceRequest_ = false;
    // The names of the listing under way, for ListingCompleted.
    std::vector<std::string> listing_;
    // Why the port's events stopped coming, once they have.
    std::optional<std::string> lost_;
    bool handshakeDone_ = false;
    // From a loss until the next handshake: writes are refused.
    bool linkDown_ = false;
    // Writes on the port under way on any thread.
    int writers_ = 0;
    bool stopping_ = false;
    // The operator has asked for another controller: the loss that follows
    // is no fault, and the search begins at once.
    bool switching_ = false;
    LinkValues values_;
    std::unique_ptr<TBComPort> port_;

    std::unique_ptr<drayver> thread_;
};

}  // namespace cardpush
