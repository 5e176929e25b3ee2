#include "raw_writer.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

#include "bench_util.h"

namespace cardpush::bench {
namespace {

bool WriteAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            std::perror("raw writer: write");
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

RawFigures RawUpload(const std::string& device, const std::vector<std::string>& frames,
                     std::size_t listingBytes)
{
    RawFigures figures;
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) {
        std::perror("raw writer: open");
        return figures;
    }
    // Raw, as the tool's device layer sets the line: a line feed must not
    // become CR LF on the way.
    termios settings{};
    ::tcgetattr(fd, &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(fd, TCSANOW, &settings);

    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = ProcessCpuSeconds();
    bool ok = true;
    for (const auto& frame : frames) {
        if (!(ok = WriteAll(fd, frame))) {
            break;
        }
    }
    ok = ok && WriteAll(fd, ">");
    std::size_t got = 0;
    while (ok && got < listingBytes) {
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, 60'000) <= 0) {
            std::fprintf(stderr, "raw writer: no listing\n");
            ok = false;
            break;
        }
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            ok = n < 0 && (errno == EINTR || errno == EAGAIN);
            continue;
        }
        got += static_cast<std::size_t>(n);
    }
    figures.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    figures.cpuSeconds = ProcessCpuSeconds() - cpuStart;
    figures.ok = ok;
    ::close(fd);
    return figures;
}

}  // namespace cardpush::bench
