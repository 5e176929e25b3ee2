#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/card_folder.h"

namespace cardpush::sim {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::milliseconds;
using LogFn = std::function<void(const std::string&)>;

// The one-byte commands, each answered by a reply field or (">") the listing.
inline constexpr std::string_view kCommands = "SNMBDVR>";

// What the controller says about itself and how it misbehaves on request.
struct ControllerConfig {
    // Identification values, sent as they stand between the letter and "_".
    std::string serial = "12345";
    std::string minimum = "-1.5";
    std::string maximum = "12.5";
    std::string accuracy = "3";
    std::string firmware = "72";
    std::string mode = "1";

    bool answer = true;           // false: no command gets a reply
    Millis presence_delay{0};     // how late "S" is answered
    bool wrong_letter = false;    // a "T9_" field before each identification field
    bool foreign_fields = false;  // a "T9_" field instead of each identification field
    char skip_reply = 0;          // the first command of this byte goes unanswered; 0: none
    int short_listing = 0;        // names the count byte announces beyond those sent
    Millis frame_timeout{2000};   // a frame left unfinished this long is dropped; 0: never
    // A full or write-protected card: delete and upload frames are read whole, change nothing.
    bool read_only_card = false;
    // The answer to N once the line has come back from a drop: another controller is on it.
    std::optional<std::string> serial_after_drop;
};

// One reply and how long to hold it back before it goes on the line.
struct Reply {
    std::string bytes;
    Millis delay{0};
};

// The controller's side of the line protocol.
//
// Bytes from the tool come in through Receive in the order they arrived, split anywhere.
// One-byte commands are answered at once; delete and upload frames change the card folder.
// A byte that starts nothing known is logged and skipped. Single-threaded; time is passed in so
// the protocol never reads a clock itself.
class ControllerProtocol {
public:
    ControllerProtocol(ControllerConfig config, CardFolder& card, LogFn log);

    // Takes the next received bytes; returns the replies they call for, in order.
    std::vector<Reply> Receive(std::string_view bytes, Clock::time_point now);

    // When an unfinished frame will be dropped if nothing more arrives; none while idle.
    std::optional<Clock::time_point> Deadline() const;

    // Drops the unfinished frame if its deadline has passed.
    void Expire(Clock::time_point now);

    // Drops the unfinished frame, if any: the rest of it will not come.
    void Abandon(const std::string& why);

    // The line has come back after a drop; the controller on it may be another one now.
    void LineBack();

private:
    enum class Phase : std::uint8_t {
        kCommand,     // between frames: a command byte or the start of a frame
        kDeleteName,  // after "/": the name up to "\"
        kHeaderName,  // after "<": the name up to "\"
        kHeaderSize,  // the decimal size up to "\"
        kContent,     // the announced number of content bytes
    };

    void TakeCommand(char byte, std::vector<Reply>& replies);
    void TakeFrameByte(char byte);
    void FinishDelete();
    void FinishHeader();
    void FinishUpload();
    void DropFrame(const std::string& why);
    void Answer(std::vector<Reply>& replies, std::string bytes, Millis delay = Millis{0});
    std::string Listing();
    void FlushSkipped();

    ControllerConfig config_;
    CardFolder& card_;
    LogFn log_;

    Phase phase_ = Phase::kCommand;
    std::string name_;
    std::string size_digits_;
    std::uint64_t remaining_ = 0;
    std::string content_;
    std::string skipped_;
    Clock::time_point last_byte_{};
};

}  // namespace cardpush::sim
