// The receive parser fed any byte stream, cut anywhere, in both modes.
//
// The input is a script of what the tool sees: receive events (bytes and a
// point at which the event is cut in two), listing requests (link state 7),
// and handshake steps (states 0 to 6, only outside a listing, as the link
// thread takes them). Two parsers follow the same script, one fed every event
// whole and one fed it in two pieces; they must agree on everything.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "link/protocol.h"
#include "link/receive_parser.h"

namespace {

using cardpush::FeedReceived;
using cardpush::ReceiveNews;
using cardpush::ReceiveState;
namespace protocol = cardpush::protocol;

void CheckInvariants(const ReceiveState& state, const ReceiveNews& news,
                     protocol::LinkState stateBefore)
{
    for (const std::string& name : news.cardNames) {
        FUZZ_CHECK(name.size() == protocol::kCardNameSize);
    }
    // A name under way never reaches full size without being handed over.
    // (Before the count byte, RxBuffer may still hold an earlier field.)
    if (state.LinkState == protocol::LinkState::Listing && state.ListRemaining > 0) {
        FUZZ_CHECK(state.RxBuffer.size() < protocol::kCardNameSize);
    }
    FUZZ_CHECK(state.RxBuffer.size() <= cardpush::kMaxFieldSize);
    if (state.LinkState != protocol::LinkState::Listing) {
        FUZZ_CHECK(state.ListRemaining == 0);
    }
    // The parser moves the link state only from Listing to Idle.
    if (state.LinkState != stateBefore) {
        FUZZ_CHECK(stateBefore == protocol::LinkState::Listing);
        FUZZ_CHECK(state.LinkState == protocol::LinkState::Idle);
        FUZZ_CHECK(news.listingCompleted);
    }
    if (!news.cardNames.empty()) {
        FUZZ_CHECK(stateBefore == protocol::LinkState::Listing);
    }
}

bool SameState(const ReceiveState& a, const ReceiveState& b)
{
    return a.RxBuffer == b.RxBuffer && a.LastReply == b.LastReply && a.LinkState == b.LinkState &&
           a.ListRemaining == b.ListRemaining;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    ReceiveState whole;
    ReceiveState split;
    while (input.remaining_bytes() > 0) {
        switch (input.ConsumeIntegralInRange(0, 3)) {
            case 0:  // the listing request: LastReply cleared, state Listing
                whole.LastReply.clear();
                whole.LinkState = protocol::LinkState::Listing;
                split.LastReply.clear();
                split.LinkState = protocol::LinkState::Listing;
                break;
            case 1: {  // a handshake step outside a listing
                const auto next = static_cast<protocol::LinkState>(
                    input.ConsumeIntegralInRange<std::uint8_t>(0, 6));
                if (whole.LinkState != protocol::LinkState::Listing) {
                    whole.LinkState = next;
                    split.LinkState = next;
                }
                break;
            }
            default: {  // one receive event
                const std::string bytes = input.ConsumeRandomLengthString(64);
                const std::size_t cut = input.ConsumeIntegralInRange<std::size_t>(0, bytes.size());
                const protocol::LinkState stateBefore = whole.LinkState;

                whole.LastReply.clear();
                const ReceiveNews wholeNews = FeedReceived(whole, bytes);
                CheckInvariants(whole, wholeNews, stateBefore);

                split.LastReply.clear();
                ReceiveNews splitNews = FeedReceived(split, std::string_view(bytes).substr(0, cut));
                CheckInvariants(split, splitNews, stateBefore);
                const protocol::LinkState stateBetween = split.LinkState;
                const ReceiveNews second = FeedReceived(split, std::string_view(bytes).substr(cut));
                CheckInvariants(split, second, stateBetween);
                splitNews.cardNames.insert(splitNews.cardNames.end(), second.cardNames.begin(),
                                           second.cardNames.end());

                FUZZ_CHECK(wholeNews.cardNames == splitNews.cardNames);
                FUZZ_CHECK(wholeNews.fieldCompleted ==
                           (splitNews.fieldCompleted || second.fieldCompleted));
                FUZZ_CHECK(wholeNews.listingCompleted ==
                           (splitNews.listingCompleted || second.listingCompleted));
                FUZZ_CHECK(SameState(whole, split));
                break;
            }
        }
    }
    return 0;
}
