// What the POSIX device layer offers beyond the CommApi interface: the
// mapping of port names to device paths.
#pragma once

#include <string>
#include <string_view>

namespace cardpush::platform {

// The device that CreateFileA opens for a name: the Windows device prefix
// "\\.\" is dropped, a bare name means a node under /dev ("ttyUSB0" is
// "/dev/ttyUSB0", "pts/3" is "/dev/pts/3") and an absolute path stands as
// it is. Empty when no device can have the name (empty, or a relative name
// that climbs out of /dev with "..").
std::string DevicePathForPortName(std::string_view name);

}  // namespace cardpush::platform
