// The receive parser: splits the bytes from the controller into reply fields
// or, while a card listing is under way, into card names.
//
// Pure: it works on a ReceiveState that the caller owns and guards. The
// receive handler clears LastReply at the start of every event, writes
// ReceiveLogLine(bytes) to the protocol log, then feeds the bytes read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "link/protocol.h"

namespace cardpush {

struct ReceiveState {
    // Field mode: the reply field being collected. Listing mode: the card
    // name being collected. Carried from one event to the next, so a field
    // or name that arrives in pieces is assembled.
    std::string RxBuffer;
    // The last complete reply field, without its terminator.
    std::string LastReply;
    // The link state; Listing selects listing mode. The parser changes it
    // only from Listing to Idle, when a listing is complete.
    protocol::LinkState LinkState = protocol::LinkState::Searching;
    // Names still expected in the current listing; 0 in listing mode means
    // the next byte is the count byte.
    std::uint8_t ListRemaining = 0;
    // Listing requests sent while a listing was arriving, whose listings
    // follow it: when the one under way ends, the next is read from its
    // count byte on instead of the link going idle.
    std::uint32_t ListingsQueued = 0;
};

// A reply field holds a letter and a short value. Bytes that keep coming
// without a field-start letter or terminator (line noise, a wrong baud rate)
// would otherwise grow RxBuffer for as long as the port stays open; past this
// size a field's further bytes are dropped.
inline constexpr std::size_t kMaxFieldSize = 4096;

// What one feed produced, for the receive handler and whoever waits on it.
struct ReceiveNews {
    // Card names completed by this feed, in order, each exactly 8 bytes as
    // received (blanks and any other bytes kept).
    std::vector<std::string> cardNames;
    // A terminator was read in field mode, so LastReply was set (possibly to
    // an empty field).
    bool fieldCompleted = false;
    // Every field completed by this feed, in order (LastReply holds only the
    // last one). Whoever waits for replies takes them from here, since the
    // next event clears LastReply.
    std::vector<std::string> fields;
    // LinkState went from Listing to Idle: the listing is complete.
    bool listingCompleted = false;
    // A queued listing began: whatever the card listing held is stale, and
    // cardNames holds only names of the listing that began.
    bool listingRestarted = false;
};

// Feeds the bytes of one receive event, one at a time. The mode is chosen
// afresh for every byte, so the bytes after a listing's last name are read
// as reply fields again.
//
// Field mode: a field-start letter starts a new field in RxBuffer (dropping
// what was there); the terminator moves RxBuffer to LastReply and empties it;
// any other byte is collected, up to kMaxFieldSize bytes.
// Listing mode: the count byte k announces (k - 1) mod 256 names (k = 0: 255,
// k = 1: none, and the listing is complete at once); every further byte is a
// name byte, whatever its value.
ReceiveNews FeedReceived(ReceiveState& state, std::string_view bytes);

// The protocol log's line for one receive event: a fixed prefix, then the
// bytes read, unchanged.
std::string ReceiveLogLine(std::string_view bytes);

}  // namespace cardpush
