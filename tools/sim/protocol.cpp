#include "sim/protocol.h"

#include <system_error>

#include "sim/failure.h"

namespace cardpush::sim {
namespace {

// A name longer than this is not a name: the frame is garbage and is dropped.
constexpr std::size_t kMaxFrameName = 64;
// 18 digits always fit in 64 bits.
constexpr std::size_t kMaxSizeDigits = 18;
constexpr char kDeleteStart = '/';
constexpr char kUploadStart = '<';
constexpr char kEndOfName = '\\';

std::string Field(char letter, const std::string& value)
{
    return std::string(1, letter) + value + "_";
}

}  // namespace

ControllerProtocol::ControllerProtocol(ControllerConfig config, CardFolder& card, LogFn log)
    : config_(std::move(config)), card_(card), log_(std::move(log))
{
}

std::vector<Reply> ControllerProtocol::Receive(std::string_view bytes, Clock::time_point now)
{
    std::vector<Reply> replies;
    if (!bytes.empty()) {
        last_byte_ = now;
    }
    for (char byte : bytes) {
        if (phase_ == Phase::kCommand) {
            TakeCommand(byte, replies);
        } else {
            TakeFrameByte(byte);
        }
    }
    FlushSkipped();
    return replies;
}

std::optional<Clock::time_point> ControllerProtocol::Deadline() const
{
    if (phase_ == Phase::kCommand || config_.frame_timeout.count() == 0) {
        return std::nullopt;
    }
    return last_byte_ + config_.frame_timeout;
}

void ControllerProtocol::Expire(Clock::time_point now)
{
    const auto deadline = Deadline();
    if (deadline && now >= *deadline) {
        DropFrame("no byte for " + std::to_string(config_.frame_timeout.count()) + " ms");
    }
}

void ControllerProtocol::Abandon(const std::string& why)
{
    if (phase_ != Phase::kCommand) {
        DropFrame(why);
    }
}

void ControllerProtocol::LineBack()
{
    if (config_.serial_after_drop && config_.serial != *config_.serial_after_drop) {
        config_.serial = *config_.serial_after_drop;
        log_("another controller on the line: serial number " + Printable(config_.serial));
    }
}

void ControllerProtocol::TakeCommand(char byte, std::vector<Reply>& replies)
{
    const auto identify = [&](char letter, const std::string& value) {
        // "T": a field-start letter that answers no command.
        if (config_.wrong_letter || config_.foreign_fields) {
            Answer(replies, "T9_");
        }
        if (!config_.foreign_fields) {
            Answer(replies, Field(letter, value));
        }
    };
    if (byte != kDeleteStart && byte != kUploadStart && kCommands.find(byte) == kCommands.npos) {
        skipped_ += byte;
        return;
    }
    FlushSkipped();
    if (byte == kDeleteStart || byte == kUploadStart) {
        phase_ = byte == kDeleteStart ? Phase::kDeleteName : Phase::kHeaderName;
        name_.clear();
        size_digits_.clear();
        return;
    }
    if (byte == config_.skip_reply) {
        // Only the first one: a controller that rebooted missed it, and answers again.
        config_.skip_reply = 0;
        log_(std::string("command ") + byte + " left unanswered once");
        return;
    }
    if (!config_.answer) {
        log_(std::string("command ") + byte + " left unanswered");
    }
    switch (byte) {
        case 'S':
            Answer(replies, "S0_", config_.presence_delay);
            break;
        case 'N':
            identify('N', config_.serial);
            break;
        case 'M':
            identify('M', config_.minimum);
            break;
        case 'B':
            identify('B', config_.maximum);
            break;
        case 'D':
            identify('D', config_.accuracy);
            break;
        case 'V':
            identify('V', config_.firmware);
            break;
        case 'R':
            identify('R', config_.mode);
            break;
        case '>':
            Answer(replies, Listing());
            break;
    }
}

void ControllerProtocol::TakeFrameByte(char byte)
{
    switch (phase_) {
        case Phase::kDeleteName:
        case Phase::kHeaderName:
            if (byte != kEndOfName) {
                name_ += byte;
                if (name_.size() > kMaxFrameName) {
                    DropFrame("name longer than " + std::to_string(kMaxFrameName) + " bytes");
                }
            } else if (phase_ == Phase::kDeleteName) {
                FinishDelete();
            } else {
                phase_ = Phase::kHeaderSize;
            }
            break;
        case Phase::kHeaderSize:
            if (byte == kEndOfName && !size_digits_.empty()) {
                FinishHeader();
            } else if (byte >= '0' && byte <= '9' && size_digits_.size() < kMaxSizeDigits) {
                size_digits_ += byte;
            } else {
                DropFrame("bad size byte " + Printable(std::string_view(&byte, 1)));
            }
            break;
        case Phase::kContent:
            content_ += byte;
            if (--remaining_ == 0) {
                FinishUpload();
            }
            break;
        case Phase::kCommand:
            break;
    }
}

void ControllerProtocol::FinishDelete()
{
    phase_ = Phase::kCommand;
    if (config_.read_only_card) {
        log_("delete " + Printable(name_) + " ignored: the card is read-only");
        return;
    }
    try {
        if (card_.Remove(name_)) {
            log_("deleted " + Printable(name_));
        } else {
            log_("delete " + Printable(name_) + ": no such card file");
        }
    } catch (const std::system_error& e) {
        log_("delete " + Printable(name_) + " failed: " + e.what());
    }
}

void ControllerProtocol::FinishHeader()
{
    remaining_ = std::stoull(size_digits_);
    content_.clear();
    log_("upload " + Printable(name_) + ", " + size_digits_ + " bytes announced");
    if (remaining_ == 0) {
        FinishUpload();
    } else {
        phase_ = Phase::kContent;
    }
}

void ControllerProtocol::FinishUpload()
{
    phase_ = Phase::kCommand;
    if (config_.read_only_card) {
        log_("upload " + Printable(name_) + " ignored, " + std::to_string(content_.size()) +
             " bytes discarded: the card is read-only");
        content_.clear();
        return;
    }
    std::string name = name_.substr(0, kCardNameLength);
    if (!IsCardName(name)) {
        log_("upload " + Printable(name_) + ": not a card name, content discarded");
        return;
    }
    if (name.size() < name_.size()) {
        log_("upload " + Printable(name_) + ": stored as " + name);
    }
    try {
        card_.Store(name, content_);
        log_("stored " + name + ", " + std::to_string(content_.size()) + " bytes");
    } catch (const std::system_error& e) {
        log_("store " + name + " failed: " + e.what());
    }
    content_.clear();
}

void ControllerProtocol::DropFrame(const std::string& why)
{
    if (phase_ == Phase::kContent) {
        log_("upload " + Printable(name_) + " cut short after " + std::to_string(content_.size()) +
             " bytes, " + std::to_string(remaining_) + " missing (" + why + "); discarded");
    } else {
        log_("unfinished frame dropped (" + why + ")");
    }
    phase_ = Phase::kCommand;
    name_.clear();
    size_digits_.clear();
    content_.clear();
    remaining_ = 0;
}

void ControllerProtocol::Answer(std::vector<Reply>& replies, std::string bytes, Millis delay)
{
    if (!config_.answer) {
        return;
    }
    replies.push_back(Reply{std::move(bytes), delay});
}

std::string ControllerProtocol::Listing()
{
    std::vector<std::string> names;
    try {
        names = card_.List();
    } catch (const std::filesystem::filesystem_error& e) {
        log_(std::string("cannot read the card folder: ") + e.what());
    }
    // The count byte can announce at most 255 names (0 stands for 255).
    if (names.size() > 255) {
        log_("listing only the first 255 of " + std::to_string(names.size()) + " card files");
        names.resize(255);
    }
    std::string listing(1, static_cast<char>((names.size() + 1 + config_.short_listing) & 0xFF));
    for (const auto& name : names) {
        listing += name;
        listing.append(kCardNameLength - name.size(), ' ');
    }
    return listing;
}

void ControllerProtocol::FlushSkipped()
{
    if (!skipped_.empty()) {
        log_("skipped " + std::to_string(skipped_.size()) +
             " unexpected byte(s): " + Printable(skipped_));
        skipped_.clear();
    }
}

}  // namespace cardpush::sim
