// What scripts/test-windows.sh sets up for the tests of the system's own
// device layer, handed over in environment variables (Wine passes the Unix
// environment on to Windows programs).
#pragma once

#include <string>
#include <vector>

namespace cardpush::test {

// The COM port behind which the controller simulator answers
// (CARDPUSH_SIM_PORT, e.g. "COM7"); empty when none was set up.
std::string SimulatorPort();

// The COM ports that the script listed in Wine's port table
// (CARDPUSH_LISTED_PORTS, names separated by blanks).
std::vector<std::string> ListedPorts();

// The card names that the simulator's card holds, in byte order
// (CARDPUSH_SIM_CARDS, separated by blanks).
std::vector<std::string> SimulatorCards();

// Whether the modem-line stand-in for pseudo-terminals is loaded
// (CARDPUSH_MODEM_LINES=1): without it Wine cannot wait for device events on a
// pseudo-terminal, nor set or read its modem lines.
bool ModemLinesOnPseudoTerminals();

// The COM port that scripts/test-windows.sh leads to the controller
// simulator, as the contracts of the device layer and the serial port take
// a line (tests/platform/comm_contract.h, tests/serial/port_contract.h).
class WineSimulatorLine {
public:
    static constexpr const char* kMissingPort = "COM251";
    // Wine reports a wait cut short by a new mask as failed.
    static constexpr bool kCutShortWaitSucceeds = false;
    // Wine lets a second open of a COM port in; on Windows the driver refuses it.
    static constexpr bool kExclusiveOpen = false;

    std::string PortName() const { return SimulatorPort(); }
    // Why the line cannot be used; empty when it can.
    std::string Why() const;
};

}  // namespace cardpush::test
