// The controller simulator on a pseudo-terminal of its own, as the device
// layer's and the serial port's contracts (tests/platform/comm_contract.h,
// tests/serial/port_contract.h) take a line on POSIX.
#pragma once

#include <string>

#include "support/sim_process.h"

namespace cardpush::testing {

class SimulatorLine {
public:
    // A port that no device answers to, as the serial port takes its name.
    static constexpr const char* kMissingPort = "cardpush-no-such-port";
    // A wait cut short by a new event mask reports success.
    static constexpr bool kCutShortWaitSucceeds = true;
    // A second open of a port that is open fails.
    static constexpr bool kExclusiveOpen = true;

    // The port as the serial port takes its name.
    std::string PortName() const { return sim_.DevicePath(); }
    // Why there is no line: never.
    std::string Why() const { return {}; }

private:
    SimProcess sim_;
};

}  // namespace cardpush::testing
