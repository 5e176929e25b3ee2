#include "sim/failure.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <utility>

namespace cardpush::sim {
namespace {

constexpr std::array<std::pair<Failure, const char*>, 8> kFailureText{{
    {Failure::kOpenPty, "cannot open a pseudo-terminal"},
    {Failure::kPtyHungUp, "the pseudo-terminal hung up"},
    {Failure::kPtyIo, "reading or writing the pseudo-terminal failed"},
    {Failure::kCreateLink, "cannot create the link"},
    {Failure::kLinkOccupied, "the link path holds something other than a symbolic link"},
    {Failure::kCardDir, "cannot use the card folder"},
    {Failure::kWireLog, "cannot write the wire log"},
    {Failure::kSignals, "cannot set up signal handling"},
}};

}  // namespace

void Fail(Failure failure, const std::string& subject, int errno_value)
{
    std::string text = "unknown failure";
    for (const auto& [key, value] : kFailureText) {
        if (key == failure) {
            text = value;
        }
    }
    if (!subject.empty()) {
        text += " " + subject;
    }
    if (errno_value != 0) {
        text += ": ";
        text += std::strerror(errno_value);
    }
    throw SimError(text);
}

std::string Printable(std::string_view bytes)
{
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

}  // namespace cardpush::sim
