// The wire protocol between the tool and the roller-table controller, byte
// for byte. Every frame is a plain byte string handed to the port in one
// write: no length prefix, no checksum, no escaping. Texts go out as held
// (Windows-1251 for the tool's own, a job file's lines unconverted).
//
// Pure functions; safe to call from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cardpush::protocol {

// One-byte commands. Each but the listing request is answered by a reply
// field that starts with the same letter.
enum class Command : char {
    Presence = 'S',
    SerialNumber = 'N',
    Minimum = 'M',
    Maximum = 'B',
    Accuracy = 'D',
    FirmwareVersion = 'V',
    Mode = 'R',
    Listing = '>',
};

// A reply field is a field-start letter, its value text, then the terminator.
inline constexpr std::string_view kFieldStartLetters = "BDMNRSTV";
inline constexpr char kTerminator = '_';

constexpr bool IsFieldStart(char byte)
{
    return kFieldStartLetters.find(byte) != std::string_view::npos;
}

// A card name in a listing is always this long, trailing blanks included.
inline constexpr std::size_t kCardNameSize = 8;

// The protocol state of the whole link. The numbers are those of the
// protocol's description; the identification steps each await the reply to
// the command sent last, in the handshake's order.
enum class LinkState : std::uint8_t {
    Searching = 0,  // no controller yet: the port search
    AwaitingSerialNumber = 1,
    AwaitingMinimum = 2,
    AwaitingMaximum = 3,
    AwaitingAccuracy = 4,
    AwaitingFirmwareVersion = 5,
    AwaitingMode = 6,
    Listing = 7,  // a card listing under way: bytes are read as its names
    Idle = 8,     // connected; frames that change the card may go out
};

std::string CommandFrame(Command command);

// Removes every leading and trailing byte from 0x00 to 0x20: blanks the
// controller pads card names with, and control characters.
std::string TrimName(std::string_view name);

// Whether a card name may go back to the controller in a frame: once
// trimmed, it holds no control byte (0x00 to 0x1F, 0x7F) and none of the
// bytes that delimit frames: slash, backslash, "<" and ">". A listing that
// is misaligned or hostile can name such a file; sent back in a delete
// frame, a name "\/JOB2" would make the frame "/\/JOB2\", which deletes
// JOB2.
bool IsSafeCardName(std::string_view name);

// "/" name "\" with the name trimmed.
std::string DeleteFrame(std::string_view cardName);

// "<" name "\" size "\" with the name trimmed and the size in plain decimal:
// the number of bytes that the line frames after it carry.
std::string HeaderFrame(std::string_view cardName, std::uint64_t payloadSize);

// One line of a job file followed by CR LF.
std::string LineFrame(std::string_view line);
inline constexpr std::size_t kLineEndSize = 2;

}  // namespace cardpush::protocol
