// The port list of the POSIX layer, shaped as the values of the registry key
// that lists serial ports on Windows.
#pragma once

#include <string>
#include <vector>

#include "platform/posix/kernel_objects.h"

namespace cardpush::platform::posix {

// One value of the key: a device name, and the port name as data with its
// terminating NUL (REG_SZ), as Windows stores it.
struct PortValue {
    std::string name;
    std::string data;
};

// An opened key: the ports as they were when it was opened.
class PortListKey final : public KernelObject {
public:
    std::vector<PortValue> values;
};

// The machine's serial devices: terminals with hardware behind them (USB
// serial adapters, modems, UARTs of a known type), less the kernel's consoles
// and the controlling terminals of processes (a login on a serial line).
// Nothing is opened to find them.
std::vector<PortValue> SnapshotSerialPorts();

}  // namespace cardpush::platform::posix
