#include "platform/comm_posix_ports.h"

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

unsigned char LowerCp1251(unsigned char c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDF)) {
        return static_cast<unsigned char>(c + 0x20);
    }
    // The capitals outside the two contiguous alphabets.
    static constexpr unsigned char kPairs[][2] = {
        {0x80, 0x90}, {0x81, 0x83}, {0x8A, 0x9A}, {0x8C, 0x9C}, {0x8D, 0x9D},
        {0x8E, 0x9E}, {0x8F, 0x9F}, {0xA1, 0xA2}, {0xA3, 0xBC}, {0xA5, 0xB4},
        {0xA8, 0xB8}, {0xAA, 0xBA}, {0xAF, 0xBF}, {0xB2, 0xB3}, {0xBD, 0xBE},
    };
    for (const auto& pair : kPairs) {
        if (c == pair[0]) {
            return pair[1];
        }
    }
    return c;
}

// Sort weight of a lower-case byte: its code, except that ё sorts right
// after е as in the alphabet.
unsigned Weight(unsigned char lower)
{
    constexpr unsigned char kYo = 0xB8;
    constexpr unsigned char kYe = 0xE5;
    return lower == kYo ? kYe * 2u + 1u : lower * 2u;
}

int Sign(long long value)
{
    return value < 0 ? CSTR_LESS_THAN : value > 0 ? CSTR_GREATER_THAN : CSTR_EQUAL;
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

int CompareCp1251(const unsigned char* a, std::size_t aLength, const unsigned char* b,
                  std::size_t bLength, bool ignoreCase)
{
    const std::size_t common = std::min(aLength, bLength);
    for (std::size_t i = 0; i < common; ++i) {
        const int byWeight =
            Sign(static_cast<long long>(Weight(LowerCp1251(a[i]))) - Weight(LowerCp1251(b[i])));
        if (byWeight != CSTR_EQUAL) {
            return byWeight;
        }
    }
    if (aLength != bLength || ignoreCase) {
        return Sign(static_cast<long long>(aLength) - static_cast<long long>(bLength));
    }
    // Same letters: the first difference of case decides, lower case first.
    for (std::size_t i = 0; i < common; ++i) {
        if (a[i] != b[i]) {
            return LowerCp1251(a[i]) == a[i] ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
        }
    }
    return CSTR_EQUAL;
}

}  // namespace cardpush::platform::posix
