#include "link/receive_parser.h"

#include "link/link_texts.h"
#include "link/protocol.h"

namespace cardpush {

namespace {

// The listing under way has all its names: the link goes idle, or the next
// queued listing begins with its count byte.
void EndListing(ReceiveState& state, ReceiveNews& news)
{
    if (state.ListingsQueued > 0) {
        --state.ListingsQueued;
        news.cardNames.clear();
        news.listingRestarted = true;
        return;
    }
    state.LinkState = protocol::LinkState::Idle;
    news.listingCompleted = true;
}

void FeedListingByte(ReceiveState& state, char byte, ReceiveNews& news)
{
    if (state.ListRemaining == 0) {
        // Unsigned wrap-around is the protocol: a count byte of 0 announces 255.
        state.ListRemaining = static_cast<std::uint8_t>(static_cast<unsigned char>(byte) - 1);
        state.RxBuffer.clear();
        if (state.ListRemaining == 0) {
            EndListing(state, news);
        }
        return;
    }
    state.RxBuffer.push_back(byte);
    if (state.RxBuffer.size() < protocol::kCardNameSize) {
        return;
    }
    news.cardNames.push_back(std::move(state.RxBuffer));
    state.RxBuffer.clear();
    --state.ListRemaining;
    if (state.ListRemaining == 0) {
        EndListing(state, news);
    }
}

void FeedFieldByte(ReceiveState& state, char byte, ReceiveNews& news)
{
    if (protocol::IsFieldStart(byte)) {
        state.RxBuffer.assign(1, byte);
    } else if (byte == protocol::kTerminator) {
        state.LastReply = std::move(state.RxBuffer);
        state.RxBuffer.clear();
        news.fieldCompleted = true;
        news.fields.push_back(state.LastReply);
    } else if (state.RxBuffer.size() < kMaxFieldSize) {
        state.RxBuffer.push_back(byte);
    }
}

}  // namespace

ReceiveNews FeedReceived(ReceiveState& state, std::string_view bytes)
{
    ReceiveNews news;
    for (const char byte : bytes) {
        if (state.LinkState == protocol::LinkState::Listing) {
            FeedListingByte(state, byte, news);
        } else {
            FeedFieldByte(state, byte, news);
        }
    }
    return news;
}

std::string ReceiveLogLine(std::string_view bytes)
{
    std::string line = link_texts::kReceiveLogPrefix.str();
    line.append(bytes);
    return line;
}

}  // namespace cardpush
