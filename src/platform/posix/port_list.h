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

// The machine's serial devices: those with hardware behind them, less the
// UART ports that the kernel probed as absent and the kernel's consoles.
std::vector<PortValue> SnapshotSerialPorts();

}  // namespace cardpush::platform::posix
