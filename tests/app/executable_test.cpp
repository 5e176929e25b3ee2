// The built tool as the operator runs it, against the controller simulator:
// it finds the controller on its saved port, lists the card, uploads its job
// file on a click, and ends on a stop signal with exit status 0, its settings
// saved and the port free for the next start.
//
// The tool runs on Qt's VNC platform: an offscreen screen that a client on
// this machine can look at and click into. The test is that client (the few
// messages of the remote framebuffer protocol it needs are below): it waits
// until the card list on the screen shows the card's file, which tells that
// the tool has read its first listing and takes card commands, and then
// clicks "загрузить все файлы". No display server, window manager or input
// tool takes part, and every step is told by what the tool shows or sends,
// never by how long it took.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <ostream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "session/settings_format.h"
#include "support/sim_process.h"

extern char** environ;

namespace cardpush::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ReadBytes;
using testing::SimProcess;
using testing::TempFolder;

// The guards only catch hangs. The tool settles 3 s on a port before it asks
// for the controller; the sanitizer builds are slower still.
constexpr auto kStepGuard = 60s;
// How long the tool may take to end after a stop signal.
constexpr auto kExitGuard = 10s;
constexpr auto kPoll = 10ms;

// The main window at its place on the screen (the design's left and top: the
// VNC platform draws no frame around it), and where its controls lie in its
// client area.
constexpr int kWindowLeft = 408;
constexpr int kWindowTop = 238;
constexpr int kCardListLeft = 464;  // ListBox2
constexpr int kCardListTop = 118;
constexpr int kCardListWidth = 241;
constexpr int kCardListHeight = 313;
constexpr int kUploadAllMiddleX = 280 + 169 / 2;  // Button1
constexpr int kUploadAllMiddleY = 166 + 105 / 2;
// Room for the menu bar above the client area, whatever its height.
constexpr int kMenuBarRoom = 80;

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds guard)
{
    const auto end = std::chrono::steady_clock::now() + guard;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(kPoll);
    }
    return true;
}

// The TCP ports a process listens on: its socket descriptors matched with
// the kernel's table of listening sockets.
std::vector<int> ListeningPorts(pid_t pid)
{
    std::set<std::string> inodes;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        const std::string target = fs::read_symlink(entry.path(), ec).string();
        if (!ec && target.rfind("socket:[", 0) == 0) {
            inodes.insert(target.substr(8, target.size() - 9));
        }
    }
    std::vector<int> ports;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::istringstream lines(ReadBytes(table));
        std::string line;
        std::getline(lines, line);  // the heading
        while (std::getline(lines, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
            fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
                timeout >> inode;
            if (state == "0A" && inodes.count(inode) != 0) {
                ports.push_back(std::stoi(local.substr(local.rfind(':') + 1), nullptr, 16));
            }
        }
    }
    return ports;
}

struct Rgb {
    std::uint8_t r, g, b;
    bool White() const { return r >= 250 && g >= 250 && b >= 250; }
    bool Dark() const { return r < 128 && g < 128 && b < 128; }
};

// A client of the remote framebuffer protocol (version 3.3, no security):
// reads rectangles of the screen and clicks. Throws std::runtime_error when
// the server fails or stays silent for kStepGuard.
class VncClient {
public:
    explicit VncClient(int port)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0) {
            throw std::system_error(errno, std::generic_category(), "socket");
        }
        timeval timeout{};
        timeout.tv_sec = static_cast<time_t>(std::chrono::seconds(kStepGuard).count());
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            const int error = errno;
            ::close(fd_);
            throw std::system_error(error, std::generic_category(), "connect to the VNC server");
        }
        Receive(12);  // the server's version
        Send("RFB 003.003\n");
        if (const std::uint32_t security = U32(Receive(4), 0); security != 1) {
            throw std::runtime_error("the VNC server asks for security type " +
                                     std::to_string(security));
        }
        Send(std::string(1, '\1'));  // shared
        const std::string init = Receive(24);
        Receive(U32(init, 20));  // the desktop's name
        // Our pixel format: 32 bits, little-endian, true colour, 8 bits a
        // channel, red in bits 16-23, green 8-15, blue 0-7.
        Send(std::string("\0\0\0\0", 4) +
             std::string("\x20\x18\x00\x01\x00\xff\x00\xff\x00\xff\x10\x08\x00\0\0\0", 16));
        Send(std::string("\x02\x00\x00\x01\x00\x00\x00\x00", 8));  // raw encoding only
    }
    ~VncClient() { ::close(fd_); }
    VncClient(const VncClient&) = delete;
    VncClient& operator=(const VncClient&) = delete;

    // The pixels of a rectangle of the screen, row by row.
    std::vector<Rgb> Grab(int x, int y, int width, int height)
    {
        std::vector<Rgb> pixels(static_cast<std::size_t>(width * height));
        Send(std::string(1, '\3') + std::string(1, '\0') + U16s({x, y, width, height}));
        for (;;) {
            const auto type = static_cast<unsigned char>(Receive(1)[0]);
            if (type == 2) {  // bell
                continue;
            }
            if (type == 3) {  // cut text
                Receive(U32(Receive(7), 3));
                continue;
            }
            if (type != 0) {
                throw std::runtime_error("unexpected VNC message " + std::to_string(type));
            }
            const std::string header = Receive(3);
            const int rects = U16(header, 1);
            for (int i = 0; i < rects; ++i) {
                const std::string rect = Receive(12);
                const int rx = U16(rect, 0), ry = U16(rect, 2), rw = U16(rect, 4),
                          rh = U16(rect, 6);
                if (U32(rect, 8) != 0) {
                    throw std::runtime_error("the VNC server sent an encoding not asked for");
                }
                const std::string data = Receive(static_cast<std::size_t>(rw) * rh * 4);
                for (int row = 0; row < rh; ++row) {
                    for (int col = 0; col < rw; ++col) {
                        const int px = rx + col - x;
                        const int py = ry + row - y;
                        if (px < 0 || py < 0 || px >= width || py >= height) {
                            continue;
                        }
                        const char* p = &data[(static_cast<std::size_t>(row) * rw + col) * 4];
                        pixels[static_cast<std::size_t>(py * width + px)] = {
                            static_cast<std::uint8_t>(p[2]), static_cast<std::uint8_t>(p[1]),
                            static_cast<std::uint8_t>(p[0])};
                    }
                }
            }
            if (rects > 0) {
                return pixels;
            }
        }
    }

    // The left button pressed and let go at (x, y).
    void Click(int x, int y)
    {
        for (const int buttons : {0, 1, 0}) {
            Send(std::string(1, '\5') + std::string(1, static_cast<char>(buttons)) + U16s({x, y}));
        }
    }

private:
    static std::uint32_t U32(const std::string& bytes, std::size_t at)
    {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
        }
        return value;
    }
    static int U16(const std::string& bytes, std::size_t at)
    {
        return static_cast<unsigned char>(bytes[at]) << 8 |
               static_cast<unsigned char>(bytes[at + 1]);
    }
    static std::string U16s(std::initializer_list<int> values)
    {
        std::string bytes;
        for (const int v : values) {
            bytes += static_cast<char>(v >> 8 & 0xff);
            bytes += static_cast<char>(v & 0xff);
        }
        return bytes;
    }

    void Send(const std::string& bytes)
    {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                throw std::system_error(errno, std::generic_category(), "send to the VNC server");
            }
            sent += static_cast<std::size_t>(n);
        }
    }

    std::string Receive(std::size_t count)
    {
        std::string bytes(count, '\0');
        std::size_t got = 0;
        while (got < count) {
            const ssize_t n = ::recv(fd_, bytes.data() + got, count - got, 0);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                throw std::runtime_error(n == 0 ? "the VNC server closed the connection"
                                                : "the VNC server stays silent");
            }
            got += static_cast<std::size_t>(n);
        }
        return bytes;
    }

    int fd_ = -1;
};

struct StopCase {
    const char* name;
    int signal;
};

void PrintTo(const StopCase& stopCase, std::ostream* out)
{
    *out << stopCase.name;
}

class ExecutableTest : public ::testing::TestWithParam<StopCase> {
protected:
    void SetUp() override
    {
        fs::create_directory(dir_ / "jobs");
        // The tool reads nastr.dat from the folder of the executable that
        // runs, as the kernel names it: a symbolic link would not move it.
        std::error_code ec;
        fs::create_hard_link(CARDPUSH_EXE, Exe(), ec);
        if (ec) {
            fs::copy_file(CARDPUSH_EXE, Exe());
            fs::permissions(Exe(), fs::perms::owner_all);
        }
    }

    void TearDown() override
    {
        if (tool_ > 0) {
            ::kill(tool_, SIGKILL);
            ::waitpid(tool_, nullptr, 0);
        }
    }

    fs::path Exe() const { return dir_ / "cardpush"; }
    fs::path SettingsFile() const { return dir_ / "nastr.dat"; }

    // Runs the tool in its folder on a VNC screen of its own, on a port that
    // the system chooses. It dies with the test.
    void StartTool()
    {
        std::vector<std::string> environment;
        for (char** e = environ; *e != nullptr; ++e) {
            if (std::strncmp(*e, "QT_QPA_PLATFORM=", 16) != 0) {
                environment.emplace_back(*e);
            }
        }
        environment.emplace_back("QT_QPA_PLATFORM=vnc:size=1400x1000:port=0");
        std::vector<char*> envp;
        for (auto& e : environment) {
            envp.push_back(e.data());
        }
        envp.push_back(nullptr);
        const std::string exe = Exe().string();
        const std::string output = (dir_ / "tool.out").string();
        char* argv[] = {const_cast<char*>(exe.c_str()), nullptr};

        const pid_t parent = ::getpid();
        tool_ = ::fork();
        ASSERT_GE(tool_, 0) << std::strerror(errno);
        if (tool_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent) {
                ::_exit(127);
            }
            const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(out, STDOUT_FILENO);
            ::dup2(out, STDERR_FILENO);
            ::execve(exe.c_str(), argv, envp.data());
            ::_exit(127);
        }
    }

    std::string ToolOutput() const { return ReadBytes(dir_ / "tool.out"); }

    // Waits (bounded) for the tool to end; SIGKILL when it does not.
    // Returns its wait status, or nothing when it had to be killed.
    std::optional<int> WaitForEnd()
    {
        int status = 0;
        const bool ended =
            WaitUntil([&] { return ::waitpid(tool_, &status, WNOHANG) == tool_; },
                      std::chrono::duration_cast<std::chrono::milliseconds>(kExitGuard));
        if (!ended) {
            ::kill(tool_, SIGKILL);
            ::waitpid(tool_, &status, 0);
        }
        tool_ = -1;
        return ended ? std::optional<int>(status) : std::nullopt;
    }

    // The card list's inside, found as the long white run in a column of the
    // strip of screen where it lies. Returns its top left corner once the
    // card list shows a name in its first row.
    std::optional<std::pair<int, int>> CardListWithAName(VncClient& screen)
    {
        const int x0 = kWindowLeft + kCardListLeft - 20;
        const int y0 = kWindowTop;
        const int width = kCardListWidth + 40;
        const int height = kMenuBarRoom + kCardListTop + kCardListHeight;
        const auto pixels = screen.Grab(x0, y0, width, height);
        const auto at = [&](int x, int y) {
            return pixels[static_cast<std::size_t>(y * width + x)];
        };

        const int column = 20 + kCardListWidth * 2 / 3;
        int top = -1, run = 0, bestTop = -1, bestRun = 0;
        for (int y = 0; y < height; ++y) {
            if (at(column, y).White()) {
                if (run++ == 0) {
                    top = y;
                }
                if (run > bestRun) {
                    bestRun = run;
                    bestTop = top;
                }
            } else {
                run = 0;
            }
        }
        if (bestRun < kCardListHeight / 2) {
            return std::nullopt;
        }
        int left = column;
        while (left > 0 && at(left - 1, bestTop + bestRun / 2).White()) {
            --left;
        }
        int dark = 0;
        for (int y = bestTop; y < bestTop + 14; ++y) {
            for (int x = left; x < left + 60; ++x) {
                dark += at(x, y).Dark() ? 1 : 0;
            }
        }
        if (dark == 0) {
            return std::nullopt;
        }
        return std::pair{x0 + left, y0 + bestTop};
    }

    TempFolder dir_{"cardpush-exe"};
    pid_t tool_ = -1;
};

TEST_P(ExecutableTest, UploadsAndEndsOnTheSignalWithThePortSavedAndFree)
{
    SimProcess sim;
    sim.PutCardFile("OLD", "1 x\r\n");
    std::ofstream(dir_ / "jobs" / "JOB1.txt", std::ios::binary) << "1 a\r\n2 b\r\n";
    Settings settings;
    settings.sourceFolder = (dir_ / "jobs").string();
    // The simulator answers on the saved port, so the tool never reads the
    // port list and never opens the machine's own serial devices.
    settings.port = sim.DevicePath();
    settings.deleteAfterUpload = false;
    settings.deleteBeforeUpload = false;
    std::ofstream(SettingsFile(), std::ios::binary) << FormatSettings(settings);

    ASSERT_NO_FATAL_FAILURE(StartTool());
    ASSERT_TRUE(WaitUntil(
        [&] {
            const std::string wire = sim.WireLog();
            return wire.find("NMBDVR") != std::string::npos && wire.back() == '>';
        },
        kStepGuard))
        << "no listing asked for; wire: " << sim.WireLog() << "\ntool: " << ToolOutput()
        << "\nsimulator: " << sim.Messages();

    std::vector<int> ports;
    ASSERT_TRUE(WaitUntil([&] { return (ports = ListeningPorts(tool_)).size() == 1; }, kStepGuard))
        << "the tool listens on " << ports.size() << " ports; tool: " << ToolOutput();
    VncClient screen(ports.front());

    // A card command given while a listing is under way is refused: the
    // click waits until the first listing is on the screen.
    std::optional<std::pair<int, int>> cardList;
    ASSERT_TRUE(
        WaitUntil([&] { return (cardList = CardListWithAName(screen)).has_value(); }, kStepGuard))
        << "the card list never showed the card's file; tool: " << ToolOutput();
    const auto [listLeft, listTop] = *cardList;
    screen.Click(listLeft - kCardListLeft + kUploadAllMiddleX,
                 listTop - kCardListTop + kUploadAllMiddleY);
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(sim.CardDir() / "JOB1"); }, kStepGuard))
        << "no upload; wire: " << sim.WireLog() << "\ntool: " << ToolOutput();
    EXPECT_EQ(ReadBytes(sim.CardDir() / "JOB1"), "1 a\r\n2 b\r\n");

    ASSERT_EQ(::kill(tool_, GetParam().signal), 0);
    const std::optional<int> status = WaitForEnd();
    ASSERT_TRUE(status.has_value()) << "still running " << kExitGuard.count()
                                    << " s after the signal; killed; tool: " << ToolOutput();
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
        << (WIFSIGNALED(*status) ? "ended by signal " + std::to_string(WTERMSIG(*status))
                                 : "exit status " + std::to_string(WEXITSTATUS(*status)))
        << "; tool: " << ToolOutput();

    const std::string saved = ReadBytes(SettingsFile());
    EXPECT_NE(saved.find("\r\nc=" + sim.DevicePath() + "\r\n"), std::string::npos) << saved;

    // Free at once, and held exclusively by no one.
    const int fd = ::open(sim.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0) << sim.DevicePath() << ": " << std::strerror(errno);
    int exclusive = -1;
    EXPECT_EQ(::ioctl(fd, TIOCGEXCL, &exclusive), 0) << std::strerror(errno);
    EXPECT_EQ(exclusive, 0) << "the device is still held exclusively";
    EXPECT_EQ(::ioctl(fd, TIOCEXCL), 0) << std::strerror(errno);
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
}

INSTANTIATE_TEST_SUITE_P(Signals, ExecutableTest,
                         ::testing::Values(StopCase{"Term", SIGTERM}, StopCase{"Hup", SIGHUP}),
                         [](const ::testing::TestParamInfo<StopCase>& info) {
                             return info.param.name;
                         });

}  // namespace
}  // namespace cardpush::test
