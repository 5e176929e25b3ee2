#include "platform/posix/port_list.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>

namespace cardpush::platform::posix {

namespace {

namespace fs = std::filesystem;

// A UART that the kernel probed and found absent keeps its node but has the
// type PORT_UNKNOWN: the phantom ttyS ports of most PCs. The sysfs attribute
// tells without opening the port (an open would raise its modem lines).
bool IsPhantomUart(const fs::path& sysEntry, const std::string& name)
{
    std::ifstream typeFile(sysEntry / "type");
    int type = -1;
    if (typeFile >> type) {
        return type == PORT_UNKNOWN;
    }
    if (name.rfind("ttyS", 0) != 0) {
        return false;
    }
    const int fd = ::open(("/dev/" + name).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno != EBUSY;  // held exclusively: a port that is surely there
    }
    serial_struct info{};
    const bool phantom = ::ioctl(fd, TIOCGSERIAL, &info) != 0 || info.type == PORT_UNKNOWN;
    ::close(fd);
    return phantom;
}

// The devices the kernel writes its console to (console=ttyS0 on a machine
// without a screen): a port search must not send its query there.
std::set<std::string> ConsoleDevices()
{
    std::set<std::string> names;
    std::ifstream active("/sys/class/tty/console/active");
    for (std::string name; active >> name;) {
        names.insert(name);
    }
    return names;
}

}  // namespace

std::vector<PortValue> SnapshotSerialPorts()
{
    std::vector<PortValue> ports;
    const std::set<std::string> consoles = ConsoleDevices();
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/sys/class/tty", error)) {
        const std::string name = entry.path().filename().string();
        // Virtual terminals and pseudo-terminals have no device behind them.
        if (consoles.contains(name) || !fs::exists(entry.path() / "device", error) ||
            !fs::exists("/dev/" + name, error) || IsPhantomUart(entry.path(), name)) {
            continue;
        }
        ports.push_back({"\\Device\\" + name, name + '\0'});
    }
    std::sort(ports.begin(), ports.end(),
              [](const PortValue& a, const PortValue& b) { return a.name < b.name; });
    return ports;
}

}  // namespace cardpush::platform::posix
