// Which device nodes are serial ports, told without opening them for use.
//
// The first open of a serial port raises its modem lines (a controller may
// reset on that), and the open of some other character device acts by
// itself: a watchdog arms on open. So a node is looked at through an O_PATH
// descriptor, which reaches the inode but not its driver, and only a terminal
// that no one else uses as a terminal is opened read-write.
//
// Not thread-safe by object; each caller makes its own.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <memory>
#include <optional>
#include <set>
#include <string>

namespace cardpush::platform::posix {

// The device number that a sysfs "dev" file holds ("4:64").
std::optional<dev_t> ReadDeviceNumber(const std::string& file);

// Whether the character device rdev, whose node pathFd (an O_PATH
// descriptor) names, is a terminal: a pseudo-terminal's slave, or a device
// of the kernel's tty class (a UART, a USB serial adapter, a modem).
bool IsTerminalNode(int pathFd, dev_t rdev);

// The terminals that are somebody's terminal, and so never a port to search:
// the kernel's consoles, the virtual terminals, /dev/tty and /dev/console,
// and every terminal that is the controlling terminal of a process (a login
// on a serial line, a shell's pseudo-terminal).
class ReservedTerminals {
public:
    // Reads the consoles now; the controlling terminals are read on the
    // first question that needs them.
    ReservedTerminals();

    bool Contains(dev_t rdev);

private:
    std::set<dev_t> consoles_;
    std::optional<std::set<dev_t>> controlling_;
};

// The node at path, looked at through an O_PATH descriptor: errno when it
// can't be reached (0 otherwise), its stat, and whether it is a terminal
// free for a port search, one that IsTerminalNode takes and that
// ReservedTerminals does not hold.
struct NodeLook {
    int error = 0;
    struct stat node {};
    bool freeTerminal = false;
};
NodeLook LookAtNode(const std::string& path);

// While the returned object lives, ReservedTerminals on this thread take the
// controlling terminals read once, when it was made, instead of reading
// every process's stat file for each question: for a port search that
// looks at dozens of ports at once.
std::shared_ptr<void> ShareTerminalLook();

// Why this user may not open the device at path for reading and writing,
// told without opening it: nothing when the rights are there (or the node
// cannot be looked at); otherwise the name of the group whose members may
// (Windows-1251), or an empty text when the group may not either.
std::optional<std::string> MissingRights(const std::string& path);

}  // namespace cardpush::platform::posix
