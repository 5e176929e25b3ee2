#include "sim/pty_line.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "sim/failure.h"

namespace cardpush::sim {

PtyLine::PtyLine()
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        Fail(Failure::kOpenPty, {}, errno);
    }
    char name[PATH_MAX];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        Fail(Failure::kOpenPty, {}, errno);
    }
    slave_path_ = name;

    // Termios set on the master applies to the slave: raw, so whoever opens the port sees the
    // bytes as sent, with no echo, line editing or CR/LF translation in either direction.
    termios tio{};
    if (tcgetattr(master_, &tio) != 0) {
        Fail(Failure::kOpenPty, slave_path_, errno);
    }
    cfmakeraw(&tio);
    cfsetspeed(&tio, B9600);
    if (tcsetattr(master_, TCSANOW, &tio) != 0) {
        Fail(Failure::kOpenPty, slave_path_, errno);
    }

    held_slave_ = open(slave_path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (held_slave_ < 0) {
        Fail(Failure::kOpenPty, slave_path_, errno);
    }
    // Watched only after our own open, so every notice is about someone else.
    watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ >= 0 && inotify_add_watch(watch_, slave_path_.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        close(watch_);
        watch_ = -1;
    }
    if (watch_ < 0) {
        // Without notices every reply is sent, whether or not anybody listens.
        peers_ = 1;
    }
}

PtyLine::~PtyLine()
{
    for (int fd : {watch_, held_slave_, master_}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

bool PtyLine::ServeWatch()
{
    if (watch_ < 0) {
        return false;
    }
    bool last_closed = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = read(watch_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                // Count lost: assume someone is there rather than throw replies away.
                peers_ = 1;
            } else if (event->mask & IN_OPEN) {
                ++peers_;
            } else if ((event->mask & IN_CLOSE) && peers_ > 0) {
                last_closed = --peers_ == 0;
            }
        }
    }
    if (last_closed && peers_ == 0) {
        // Replies nobody read would greet the next opener; a real line loses them.
        tcflush(held_slave_, TCIFLUSH);
        // On a pseudo-terminal the exclusive-use flag outlives the last close (the slave stays
        // allocated while we hold the master), which would lock the port for every later opener
        // without privileges. A real device forgets it on the last close.
        ioctl(held_slave_, TIOCNXCL);
        return true;
    }
    return false;
}

DeviceLink::DeviceLink(std::string path, std::string target)
    : path_(std::move(path)), target_(std::move(target))
{
    struct stat st {};
    if (lstat(path_.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        Fail(Failure::kLinkOccupied, path_);
    }
    // Made under a neighbouring name and renamed over the path, so the path never lacks a link
    // while a stale one is replaced.
    const std::string temp = path_ + ".new-" + std::to_string(getpid());
    unlink(temp.c_str());
    if (symlink(target_.c_str(), temp.c_str()) != 0) {
        Fail(Failure::kCreateLink, path_, errno);
    }
    if (rename(temp.c_str(), path_.c_str()) != 0) {
        const int saved = errno;
        unlink(temp.c_str());
        Fail(Failure::kCreateLink, path_, saved);
    }
}

DeviceLink::~DeviceLink()
{
    // Another simulator may have taken the path over since; its link stays.
    char target[PATH_MAX];
    const ssize_t n = readlink(path_.c_str(), target, sizeof target);
    if (n >= 0 && std::string(target, static_cast<std::size_t>(n)) == target_) {
        unlink(path_.c_str());
    }
}

}  // namespace cardpush::sim
