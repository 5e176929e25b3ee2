#include "support/pty_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace cardpush::testing {
namespace {

[[noreturn]] void Fail(const std::string& what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

PtyPeer::PtyPeer(bool nonBlocking)
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | (nonBlocking ? O_NONBLOCK : 0));
    if (master_ < 0) {
        Fail("posix_openpt");
    }
    char name[64] = {};
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0) {
        const int error = errno;
        Hangup();
        errno = error;
        Fail("pseudo-terminal");
    }
    path_ = name;
}

void PtyPeer::Write(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(master_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            Fail("write to " + path_);
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

std::string PtyPeer::Read(std::size_t count, std::chrono::milliseconds patience)
{
    std::string got;
    while (got.size() < count) {
        pollfd fd{master_, POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(patience.count())) <= 0) {
            break;
        }
        char chunk[512];
        const ssize_t n = ::read(master_, chunk, std::min(sizeof chunk, count - got.size()));
        if (n <= 0) {
            break;
        }
        got.append(chunk, static_cast<std::size_t>(n));
    }
    return got;
}

int PtyPeer::OpenDevice() const
{
    const int fd = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        Fail("open " + path_);
    }
    try {
        MakeRaw(fd);
    } catch (...) {
        ::close(fd);
        throw;
    }
    return fd;
}

void PtyPeer::Hangup()
{
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

void MakeRaw(int fd)
{
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        Fail("tcgetattr");
    }
    ::cfmakeraw(&settings);
    if (::tcsetattr(fd, TCSANOW, &settings) != 0) {
        Fail("tcsetattr");
    }
}

}  // namespace cardpush::testing
