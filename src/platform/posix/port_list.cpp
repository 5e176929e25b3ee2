#include "platform/posix/port_list.h"

#include <linux/serial.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/posix/terminal_node.h"

namespace cardpush::platform::posix {

namespace {

namespace fs = std::filesystem;

// A UART that the kernel probed and found absent keeps its node but has the
// type PORT_UNKNOWN: the phantom ttyS ports of most PCs. A ttyS port whose
// kernel reports no type at all is taken for one too: finding out would take
// an open, which raises the modem lines of a port that may be in use.
bool IsPhantomUart(const fs::path& sysEntry, const std::string& name)
{
    std::ifstream typeFile(sysEntry / "type");
    int type = -1;
    if (typeFile >> type) {
        return type == PORT_UNKNOWN;
    }
    return name.starts_with("ttyS");
}

}  // namespace

std::vector<PortValue> SnapshotSerialPorts()
{
    std::vector<PortValue> ports;
    ReservedTerminals reserved;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/sys/class/tty", error)) {
        const std::string name = entry.path().filename().string();
        // Virtual terminals and pseudo-terminals have no device behind them.
        if (!fs::exists(entry.path() / "device", error) || IsPhantomUart(entry.path(), name)) {
            continue;
        }
        // The node under /dev must be this terminal, and nobody's console or
        // controlling terminal.
        const auto number = ReadDeviceNumber(entry.path() / "dev");
        struct stat node {};
        if (!number || ::stat(("/dev/" + name).c_str(), &node) != 0 || !S_ISCHR(node.st_mode) ||
            node.st_rdev != *number || reserved.Contains(node.st_rdev)) {
            continue;
        }
        ports.push_back({"\\Device\\" + name, name + '\0'});
    }
    std::sort(ports.begin(), ports.end(),
              [](const PortValue& a, const PortValue& b) { return a.name < b.name; });
    return ports;
}

}  // namespace cardpush::platform::posix
