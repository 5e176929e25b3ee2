// What the card commands need of the controller link: the connection they
// are bound to, the card's last listing, and frames and listing requests on
// the line. LinkSession implements it; tests fake it, so that the card
// commands' rules are tried without a device.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace cardpush {

// One connection to a controller: from the end of a handshake to the loss of
// the link. The generation counts connections from 1; 0 is none.
struct LinkConnection {
    std::uint64_t generation = 0;
    std::string serialNumber;

    friend bool operator==(const LinkConnection&, const LinkConnection&) = default;
};

// A card command's frame could not go out: the connection it was started on
// is gone (lost, or replaced by another), or the link is not idle. The
// message is for the operator (Windows-1251).
class ELinkChanged : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A complete card listing: the names as the controller sent them, the
// latest listing request it answers, and its connection.
struct CardListing {
    std::uint64_t request = 0;
    std::uint64_t generation = 0;
    std::vector<std::string> names;
};

class CardLink {
public:
    // A write longer than this goes to the port in pieces of this size.
    static constexpr std::size_t kMaxWriteBytes = 128;

    // Why card commands may not send frames now (Windows-1251, for the
    // operator); nothing when they may (connected, idle). Any thread.
    virtual std::optional<std::string> CardCommandRefusal() const = 0;
    // The connection now; generation 0 while there is none. Any thread.
    virtual LinkConnection Connection() const = 0;
    // The listing that completed last on this connection (request 0: none).
    virtual CardListing LastListing() const = 0;

    // GUI thread: empties the card listing and sends the listing request.
    // Returns the request's number, 0 when there is no connection.
    virtual std::uint64_t RefreshCardList() = 0;
    // Any thread: writes a card frame (or whole frames back to back) bound
    // to connection: before each piece, throws ELinkChanged unless that
    // connection still lasts and the link is idle. Throws EComPort when a
    // write fails.
    virtual void WriteCardFrame(std::string_view frame, const LinkConnection& connection) = 0;
    // Any thread but the GUI thread (the listing comes in there): waits for
    // the listing that answers request on connection and returns its names;
    // nothing when that listing stalls, the connection goes, or the link is
    // being destroyed.
    virtual std::optional<std::vector<std::string>> AwaitListing(
        std::uint64_t request, const LinkConnection& connection) = 0;
    // What the serial line carries per second, for the time an upload takes.
    virtual std::uint64_t LineBytesPerSecond() const = 0;

protected:
    ~CardLink() = default;
};

}  // namespace cardpush
