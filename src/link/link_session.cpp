#include "link/link_session.h"

#include <cassert>
#include <stdexcept>
#include <utility>

#include "link/drayverUnit.h"
#include "link/link_texts.h"
#include "link/port_probe.h"
#include "link/protocol.h"
#include "platform/main_thread.h"
#include "serial/BCPort.h"

namespace cardpush {
namespace {

bool StillSending(TBComPort* port)
{
    try {
        return port != nullptr && port->PendingOutput() > 0;
    } catch (const std::exception&) {
        return false;  // a port that can't tell has nothing on its way either
    }
}

}  // namespace

using platform::MainThread;

LinkSession::LinkSession(LinkHost& host, platform::CommApi& api) : host_(host), api_(api)
{
    assert(MainThread::IsCurrent());
}

LinkSession::~LinkSession()
{
    assert(MainThread::IsCurrent());
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    news_.notify_all();
    if (thread_) {
        thread_->Join();
        thread_.reset();
    }
    // The port outlives the link thread: it carries the card commands until
    // the end of the run.
    if (auto* port = Port()) {
        try {
            port->Close();
        } catch (const std::exception&) {
            // Closing on the way out: nothing is left to tell.
        }
    }
    MainThread::ServePending();
}

void LinkSession::SetTiming(Timing timing)
{
    assert(MainThread::IsCurrent() && !thread_);
    timing_ = timing;
}

void LinkSession::Start()
{
    assert(MainThread::IsCurrent());
    if (thread_) {
        return;
    }
    thread_ = std::make_unique<drayver>(static_cast<LinkControl&>(*this));
    thread_->Start();
}

void LinkSession::ComPortRxChar(TBComPort* Sender, std::int32_t Count)
{
    assert(MainThread::IsCurrent());
    {
        std::lock_guard lock(mutex_);
        state_.LastReply.clear();
    }
    std::string text;
    Sender->ReadText(text, Count);
    host_.AddLogLine(ReceiveLogLine(text));

    ReceiveNews news;
    std::vector<std::string> completed;
    std::uint64_t answered = 0;
    {
        std::lock_guard lock(mutex_);
        lastListingActivity_ = std::chrono::steady_clock::now();
        receivedSinceRequest_ = true;
        news = FeedReceived(state_, text);
        // Only the handshake waits for reply fields; after it nobody would
        // take them out.
        if (!handshakeDone_) {
            for (auto& field : news.fields) {
                if (!field.empty()) {
                    replies_.push_back(std::move(field));
                }
            }
            while (replies_.size() > kMaxQueuedReplies) {
                replies_.pop_front();
            }
        }
        if (news.listingRestarted) {
            listing_.clear();
        }
        listing_.insert(listing_.end(), news.cardNames.begin(), news.cardNames.end());
        if (news.listingCompleted) {
            completed = std::move(listing_);
            listing_.clear();
            answered = listingRequests_;
            lastListing_ = CardListing{answered, connection_.generation, completed};
        }
    }
    news_.notify_all();
    if (news.listingRestarted) {
        host_.ClearCardList();
    }
    for (const auto& name : news.cardNames) {
        host_.AddCardName(name);
    }
    if (news.listingCompleted) {
        // After this receive event, not inside it: what the host does with a
        // complete listing may ask the operator, and the port's event thread
        // waits for this handler to return.
        MainThread::Post([this, completed = std::move(completed), answered] {
            host_.ListingCompleted(completed, answered);
        });
    }
}

std::uint64_t LinkSession::RefreshCardList()
{
    assert(MainThread::IsCurrent());
    {
        std::lock_guard lock(mutex_);
        if (!handshakeDone_) {
            return 0;
        }
    }
    host_.ClearCardList();
    std::uint64_t request = 0;
    {
        std::lock_guard lock(mutex_);
        const auto now = std::chrono::steady_clock::now();
        const bool listingOnItsWay = state_.LinkState == protocol::LinkState::Listing &&
                                     now - lastListingActivity_ < timing_.listingStall;
        if (listingOnItsWay) {
            // Its answer follows the one under way.
            ++state_.ListingsQueued;
        } else {
            // A listing that brought fewer names than it announced would
            // take the new listing's count byte and names for its missing
            // names, and garble every listing after it.
            state_.ListRemaining = 0;
            state_.ListingsQueued = 0;
            state_.RxBuffer.clear();
            listing_.clear();
        }
        state_.LastReply.clear();
        state_.LinkState = protocol::LinkState::Listing;
        lastListingActivity_ = now;
        receivedSinceRequest_ = false;
        request = ++listingRequests_;
    }
    // The watch for a listing that stops coming starts afresh.
    news_.notify_all();
    WriteCounted(protocol::CommandFrame(protocol::Command::Listing), nullptr);
    return request;
}

void LinkSession::DeleteCardFile(const std::string& name, const LinkConnection& connection)
{
    assert(MainThread::IsCurrent());
    if (!protocol::IsSafeCardName(name)) {
        throw std::invalid_argument("unsafe card name");
    }
    WriteCardFrame(protocol::DeleteFrame(name), connection);
}

void LinkSession::WriteFrame(std::string_view frame)
{
    WriteCounted(frame, nullptr);
}

void LinkSession::WriteCardFrame(std::string_view frame, const LinkConnection& connection)
{
    WriteCounted(frame, &connection);
}

void LinkSession::WriteCounted(std::string_view bytes, const LinkConnection* connection)
{
    do {
        const std::string_view piece = bytes.substr(0, kMaxWriteBytes);
        bytes.remove_prefix(piece.size());
        TBComPort* port = nullptr;
        {
            std::lock_guard lock(mutex_);
            if (connection != nullptr && (*connection != connection_ || linkDown_ || lost_ ||
                                          state_.LinkState != protocol::LinkState::Idle)) {
                throw ELinkChanged(link_texts::kConnectionChanged.str());
            }
            if (linkDown_) {
                RaiseComFault(ComFault::Write);
            }
            port = port_.get();
            if (port == nullptr) {
                RaiseComFault(ComFault::PortClosed);
            }
            ++writers_;
        }
        const auto done = [this] {
            {
                std::lock_guard lock(mutex_);
                --writers_;
            }
            news_.notify_all();
        };
        try {
            port->WriteText(std::string(piece));
        } catch (const std::exception& error) {
            done();
            // A write that fails (a hang-up, an adapter pulled out, a line
            // that takes nothing) means the controller is gone.
            NoteLoss(error.what());
            throw;
        }
        done();
    } while (!bytes.empty());
}

LinkConnection LinkSession::Connection() const
{
    std::lock_guard lock(mutex_);
    return connection_;
}

CardListing LinkSession::LastListing() const
{
    std::lock_guard lock(mutex_);
    return lastListing_;
}

std::optional<std::vector<std::string>> LinkSession::AwaitListing(std::uint64_t request,
                                                                  const LinkConnection& connection)
{
    assert(!MainThread::IsCurrent());
    std::unique_lock lock(mutex_);
    const auto gone = [&] {
        return stopping_ || connection != connection_ || linkDown_ || lost_.has_value();
    };
    news_.wait(lock, [&] {
        return gone() || lastListing_.request >= request || stallReported_ >= request;
    });
    if (gone() || lastListing_.request < request) {
        return std::nullopt;
    }
    return lastListing_.names;
}

bool LinkSession::CardCommandsAllowed() const
{
    return !CardCommandRefusal();
}

std::optional<std::string> LinkSession::CardCommandRefusal() const
{
    std::lock_guard lock(mutex_);
    if (lost_) {
        return link_texts::kLinkFailed.str() + *lost_;
    }
    if (!handshakeDone_) {
        return link_texts::kNotIdentified.str();
    }
    if (state_.LinkState != protocol::LinkState::Idle) {
        // A listing that has stopped short never ends by itself: the
        // operator has to know that the card list must be asked for again.
        return stallReported_ == listingRequests_ ? link_texts::kListingIncomplete.str()
                                                  : link_texts::kListingUnderWay.str();
    }
    return std::nullopt;
}

protocol::LinkState LinkSession::LinkState() const
{
    std::lock_guard lock(mutex_);
    return state_.LinkState;
}

LinkValues LinkSession::Values() const
{
    std::lock_guard lock(mutex_);
    return values_;
}

ReceiveState LinkSession::ParserState() const
{
    std::lock_guard lock(mutex_);
    return state_;
}

std::uint64_t LinkSession::LineBytesPerSecond() const
{
    std::lock_guard lock(mutex_);
    const TBaudRate rate = port_ ? port_->BaudRate() : br9600;
    return BaudRateBits(rate) / 10;
}

bool LinkSession::WaitForReply(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    news_.wait_for(lock, timeout, [&] { return stopping_ || !replies_.empty(); });
    if (stopping_) {
        throw LinkStopped{};
    }
    return !replies_.empty();
}

std::optional<std::string> LinkSession::NextReply(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    news_.wait_for(lock, timeout, [&] { return stopping_ || !replies_.empty() || lost_; });
    if (stopping_) {
        throw LinkStopped{};
    }
    if (!replies_.empty()) {
        std::string reply = std::move(replies_.front());
        replies_.pop_front();
        return reply;
    }
    if (lost_) {
        throw std::runtime_error(*lost_);
    }
    return std::nullopt;
}

void LinkSession::Pause(std::chrono::milliseconds time)
{
    std::unique_lock lock(mutex_);
    if (news_.wait_for(lock, time, [&] { return stopping_; })) {
        throw LinkStopped{};
    }
}

void LinkSession::ForgetReplies()
{
    std::lock_guard lock(mutex_);
    state_.LastReply.clear();
    replies_.clear();
}

void LinkSession::ClearReceiveBuffers()
{
    std::lock_guard lock(mutex_);
    state_.RxBuffer.clear();
    state_.LastReply.clear();
    replies_.clear();
}

void LinkSession::SetLinkState(protocol::LinkState state)
{
    std::lock_guard lock(mutex_);
    state_.LinkState = state;
}

std::uint64_t LinkSession::BeginFirstListing()
{
    std::lock_guard lock(mutex_);
    // Together, under the lock: a listing that comes back at once (an empty
    // card) must find the handshake over, or it could end before the
    // operator's commands are allowed and leave them refused.
    state_.LastReply.clear();
    replies_.clear();
    state_.LinkState = protocol::LinkState::Listing;
    handshakeDone_ = true;
    linkDown_ = false;
    connection_ = LinkConnection{connection_.generation + 1, values_.SerialNumber};
    lastListing_ = CardListing{};
    lastListingActivity_ = std::chrono::steady_clock::now();
    receivedSinceRequest_ = false;
    listing_.clear();
    return ++listingRequests_;
}

LinkControl::ListingStall LinkSession::AwaitListingStall()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        if (stopping_) {
            throw LinkStopped{};
        }
        if (lost_) {
            throw std::runtime_error(*lost_);
        }
        const bool waiting =
            state_.LinkState == protocol::LinkState::Listing && stallReported_ != listingRequests_;
        if (!waiting) {
            news_.wait(lock);
            continue;
        }
        const auto due = lastListingActivity_ + timing_.listingStall;
        if (std::chrono::steady_clock::now() < due) {
            news_.wait_until(lock, due);
            continue;
        }
        // The controller answers only once it has read everything before
        // the request: while the driver still has bytes for the line (an
        // upload at a slow speed), the request has not even left.
        TBComPort* port = port_.get();
        lock.unlock();
        const bool sending = StillSending(port);
        lock.lock();
        if (sending) {
            lastListingActivity_ = std::chrono::steady_clock::now();
            continue;
        }
        stallReported_ = listingRequests_;
        const ListingStall stall{listingRequests_, !receivedSinceRequest_};
        lock.unlock();
        // A card command may be waiting for this listing.
        news_.notify_all();
        return stall;
    }
}

void LinkSession::ReceptionEnded(const std::string& reason)
{
    NoteLoss(reason.empty() ? link_texts::kReceptionEnded.str() : reason);
}

void LinkSession::NoteLoss(const std::string& reason)
{
    {
        std::lock_guard lock(mutex_);
        if (!lost_) {
            lost_ = reason;
        }
    }
    // The link thread learns it where it waits, and tells the host.
    news_.notify_all();
}

void LinkSession::LinkLost(const std::string& reason)
{
    std::unique_ptr<TBComPort> port;
    {
        std::unique_lock lock(mutex_);
        linkDown_ = true;
        handshakeDone_ = false;
        state_ = ReceiveState{};
        replies_.clear();
        listing_.clear();
        stallReported_ = listingRequests_;
        lastListing_ = CardListing{};
        // Closing under a write would pull the device from under it.
        news_.wait(lock, [&] { return writers_ == 0; });
        port = std::move(port_);
    }
    // A device that has gone may refuse the steps of a close (lowering the
    // modem lines); the port's end releases it all the same, and the search
    // makes a new one.
    if (port) {
        try {
            port->Close();
        } catch (const std::exception&) {
            // Released below.
        }
        port.reset();
    }
    MainThread::Post([this, reason] { host_.LinkLost(reason); });
}

void LinkSession::StoreValues(const LinkValues& values)
{
    std::lock_guard lock(mutex_);
    values_ = values;
}

std::unique_ptr<TBComPort> LinkSession::CreateProbePort(const std::shared_ptr<ProbeLine>& line)
{
    auto port = std::make_unique<TBComPort>(nullptr, api_);
    // Events are taken on the port's event thread: a search that probes
    // dozens of ports at once would otherwise wake the GUI thread for each
    // of their events (every write's "sent"). The session's receive handler
    // still runs on the GUI thread once the port is the session's.
    port->SetSyncMethod(smNone);
    port->OnRxChar = [this, line](TBComPort* sender, std::int32_t count) {
        if (!line->Receive(*sender, count)) {
            MainThread::Synchronize([this, sender, count] { ComPortRxChar(sender, count); });
            return;
        }
        // The search waits on the session's lock: taken, so that the news
        // can't slip in between its look and its wait.
        {
            std::lock_guard lock(mutex_);
        }
        news_.notify_all();
    };
    port->OnThreadError = [this, line](TBComPort*, const std::string& message) {
        bool adopted = false;
        {
            std::lock_guard lock(line->mutex);
            adopted = line->adopted;
        }
        // A port of the search that stops reporting only stays silent.
        if (adopted) {
            ReceptionEnded(message);
        }
    };
    return port;
}

std::vector<std::string> LinkSession::AdoptPort(std::unique_ptr<TBComPort> port, ProbeLine& line)
{
    std::lock_guard lock(mutex_);
    std::lock_guard lineLock(line.mutex);
    line.adopted = true;
    state_.RxBuffer = std::move(line.parser.RxBuffer);
    state_.LastReply.clear();
    state_.LinkState = protocol::LinkState::AwaitingSerialNumber;
    replies_ = std::move(line.replies);
    lost_.reset();
    port_ = std::move(port);
    return std::move(line.log);
}

bool LinkSession::WaitUntil(const std::function<bool()>& ready, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    news_.wait_for(lock, timeout, [&] { return stopping_ || ready(); });
    if (stopping_) {
        throw LinkStopped{};
    }
    return ready();
}

void LinkSession::SwitchController(const std::string& reason)
{
    assert(MainThread::IsCurrent());
    {
        std::lock_guard lock(mutex_);
        if (!handshakeDone_ && port_ == nullptr) {
            return;  // searching: the next attempt takes the saved port first
        }
        switching_ = true;
    }
    NoteLoss(reason);
}

bool LinkSession::TakeSwitch()
{
    std::lock_guard lock(mutex_);
    return std::exchange(switching_, false);
}

TBComPort* LinkSession::Port() const
{
    std::lock_guard lock(mutex_);
    return port_.get();
}

}  // namespace cardpush
