#include "platform/posix/terminal_node.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "platform/cp1251.h"

namespace cardpush::platform::posix {

namespace {

constexpr long kDevptsMagic = 0x1cd1;
// Virtual terminals are major 4, minors 0 to 63 (ttyS UARTs follow from
// minor 64); major 5 holds /dev/tty, /dev/console, /dev/ptmx and the
// kernel's printk terminal.
constexpr unsigned kVirtualTerminalMajor = 4;
constexpr unsigned kFirstNonVirtualMinor = 64;
constexpr unsigned kAuxiliaryTerminalMajor = 5;
constexpr std::size_t kLargestGroupEntry = std::size_t{1} << 20;

// The controlling terminals of every process we can see, from field 7
// (tty_nr) of /proc/<pid>/stat. Asking the terminal itself (TIOCGSID) needs
// an open of it, and answers only for the asker's own terminal anyway.
// Where /proc hides other users' processes, their terminals go unseen; such
// terminals are closed to us by their modes.
std::set<dev_t> ControllingTerminals()
{
    std::set<dev_t> terminals;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        return terminals;
    }
    while (const dirent* entry = ::readdir(proc)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9') {
            continue;
        }
        const std::string file = std::string("/proc/") + entry->d_name + "/stat";
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            continue;  // the process has ended
        }
        char text[512];
        const ssize_t n = ::read(fd, text, sizeof text - 1);
        ::close(fd);
        if (n <= 0) {
            continue;
        }
        text[n] = '\0';
        // The command name in field 2 may hold blanks and parentheses: the
        // fields go on after its last ')'.
        const char* rest = std::strrchr(text, ')');
        unsigned ttyNumber = 0;
        if (rest == nullptr || std::sscanf(rest + 1, " %*c %*d %*d %*d %u", &ttyNumber) != 1 ||
            ttyNumber == 0) {
            continue;
        }
        // The kernel's encoding: minor bits 0-7 and 20-31, major bits 8-19.
        const unsigned majorNumber = (ttyNumber >> 8) & 0xfff;
        const unsigned minorNumber = (ttyNumber & 0xff) | ((ttyNumber >> 12) & 0xfff00);
        terminals.insert(makedev(majorNumber, minorNumber));
    }
    ::closedir(proc);
    return terminals;
}

// The controlling terminals that ShareTerminalLook has read for this
// thread, while its object lives.
thread_local const std::set<dev_t>* sharedControlling = nullptr;

class SharedTerminalLook {
public:
    SharedTerminalLook() : terminals_(ControllingTerminals()), previous_(sharedControlling)
    {
        sharedControlling = &terminals_;
    }
    ~SharedTerminalLook() { sharedControlling = previous_; }
    SharedTerminalLook(const SharedTerminalLook&) = delete;
    SharedTerminalLook& operator=(const SharedTerminalLook&) = delete;

private:
    const std::set<dev_t> terminals_;
    const std::set<dev_t>* previous_;
};

}  // namespace

std::shared_ptr<void> ShareTerminalLook()
{
    return std::make_shared<SharedTerminalLook>();
}

std::optional<dev_t> ReadDeviceNumber(const std::string& file)
{
    std::ifstream in(file);
    unsigned majorNumber = 0;
    unsigned minorNumber = 0;
    char colon = 0;
    if (in >> majorNumber >> colon >> minorNumber && colon == ':') {
        return makedev(majorNumber, minorNumber);
    }
    return std::nullopt;
}

bool IsTerminalNode(int pathFd, dev_t rdev)
{
    // Pseudo-terminal slaves live on devpts and have no sysfs entry.
    struct statfs fs {};
    if (::fstatfs(pathFd, &fs) == 0 && fs.f_type == kDevptsMagic) {
        return major(rdev) != kAuxiliaryTerminalMajor;  // not devpts' own ptmx
    }
    const std::string link = "/sys/dev/char/" + std::to_string(major(rdev)) + ":" +
                             std::to_string(minor(rdev)) + "/subsystem";
    char target[256];
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof target) {
        return false;
    }
    const std::string_view subsystem(target, static_cast<std::size_t>(n));
    return subsystem == "tty" || subsystem.ends_with("/tty");
}

ReservedTerminals::ReservedTerminals()
{
    std::ifstream active("/sys/class/tty/console/active");
    for (std::string name; active >> name;) {
        if (const auto number = ReadDeviceNumber("/sys/class/tty/" + name + "/dev")) {
            consoles_.insert(*number);
        }
    }
}

bool ReservedTerminals::Contains(dev_t rdev)
{
    if ((major(rdev) == kVirtualTerminalMajor && minor(rdev) < kFirstNonVirtualMinor) ||
        major(rdev) == kAuxiliaryTerminalMajor || consoles_.contains(rdev)) {
        return true;
    }
    if (!controlling_) {
        controlling_ = sharedControlling != nullptr ? *sharedControlling : ControllingTerminals();
    }
    return controlling_->contains(rdev);
}

NodeLook LookAtNode(const std::string& path)
{
    NodeLook look;
    const int node = ::open(path.c_str(), O_PATH | O_CLOEXEC);
    if (node < 0) {
        look.error = errno;
        return look;
    }
    if (::fstat(node, &look.node) != 0) {
        look.error = errno;
    } else {
        look.freeTerminal = S_ISCHR(look.node.st_mode) && IsTerminalNode(node, look.node.st_rdev) &&
                            !ReservedTerminals().Contains(look.node.st_rdev);
    }
    ::close(node);
    return look;
}

std::optional<std::string> MissingRights(const std::string& path)
{
    struct stat node {};
    if (::stat(path.c_str(), &node) != 0 ||
        ::faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK, AT_EACCESS) == 0 || errno != EACCES) {
        return std::nullopt;
    }
    if ((node.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) {
        return std::string();
    }
    std::vector<char> buffer(4096);
    group entry{};
    group* found = nullptr;
    while (::getgrgid_r(node.st_gid, &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < kLargestGroupEntry) {
        buffer.resize(buffer.size() * 2);
    }
    return found != nullptr ? Utf8ToCp1251(found->gr_name) : std::to_string(node.st_gid);
}

}  // namespace cardpush::platform::posix
