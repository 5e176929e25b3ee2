#pragma once

#include <stdexcept>
#include <string>

namespace cardpush::sim {

// Everything that stops the simulator before or while it serves the line.
enum class Failure {
    kOpenPty,
    kPtyHungUp,
    kPtyIo,
    kCreateLink,
    kLinkOccupied,
    kCardDir,
    kWireLog,
    kSignals,
};

// A failure with its fixed text and, where the system gave one, the reason.
class SimError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The one way out for failures: the table's text, the subject (a path), the system's reason
// for errno_value when it is not 0.
[[noreturn]] void Fail(Failure failure, const std::string& subject = {}, int errno_value = 0);

// Bytes as a reader of the log wants them: printable ASCII as it is, the rest as \xNN.
std::string Printable(std::string_view bytes);

}  // namespace cardpush::sim
