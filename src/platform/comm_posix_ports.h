// The port list of the POSIX layer, shaped as the values of the registry key
// that lists serial ports on Windows, and the text comparison that sorts it.
#pragma once

#include <string>
#include <vector>

#include "platform/comm_posix_objects.h"

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

// CompareStringA over Windows-1251 text: letters compare by their place in
// the alphabet (Ё beside Е), and with ignoreCase lower and upper case are
// equal. Returns CSTR_LESS_THAN, CSTR_EQUAL or CSTR_GREATER_THAN.
int CompareCp1251(const unsigned char* a, std::size_t aLength, const unsigned char* b,
                  std::size_t bLength, bool ignoreCase);

}  // namespace cardpush::platform::posix
