// What the POSIX device layer offers beyond the CommApi interface: the
// mapping of port names to device paths, and the seam through which tests
// and the simulator's users add devices to the port list.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace cardpush::platform {

// The device that CreateFileA opens for a name: the Windows device prefix
// "\\.\" is dropped, a bare name means a node under /dev ("ttyUSB0" is
// "/dev/ttyUSB0", "pts/3" is "/dev/pts/3") and an absolute path stands as
// it is. Empty when no device can have the name (empty, or a relative name
// that climbs out of /dev with "..").
std::string DevicePathForPortName(std::string_view name);

// Devices listed in the port list besides the machine's own serial ports,
// in addition to them, from the next RegOpenKeyExA on; each entry's value
// data is the text given, which then works as a port name. Replaces the
// previous extras. Thread-safe.
void SetExtraSerialPortsForTesting(std::vector<std::string> paths);

}  // namespace cardpush::platform
