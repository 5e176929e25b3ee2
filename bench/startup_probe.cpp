#include "startup_probe.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "settings_file.h"
#include "support/sim_process.h"

extern char** environ;

namespace cardpush::bench {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

pid_t Spawn(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const auto& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    return pid;
}

void Stop(pid_t pid)
{
    if (pid <= 0) {
        return;
    }
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

// A private X server on a display no other is using; its pid, or -1.
pid_t StartXServer(std::string& display)
{
    for (int number = 90 + ::getpid() % 100; number < 400; ++number) {
        if (fs::exists("/tmp/.X11-unix/X" + std::to_string(number)) ||
            fs::exists("/tmp/.X" + std::to_string(number) + "-lock")) {
            continue;
        }
        display = ":" + std::to_string(number);
        // Large enough for the whole main window where it places itself:
        // the window's pixels are read only where they are on the screen.
        // Without -noreset the server resets when the probing connection
        // below closes, and refuses the next one meanwhile.
        const pid_t pid = Spawn({"/usr/bin/Xvfb", display, "-nolisten", "tcp", "-noreset",
                                 "-screen", "0", "1920x1200x24"});
        bool ended = pid <= 0;
        // Its key map is compiled at start: seconds on a busy machine.
        for (int i = 0; !ended && i < 400; ++i) {
            if (Display* probe = XOpenDisplay(display.c_str())) {
                XCloseDisplay(probe);
                return pid;
            }
            // A server that has ended found its display taken (a server
            // that keeps only an abstract socket leaves no file): the next.
            ended = ::waitpid(pid, nullptr, WNOHANG) == pid;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (!ended) {
            Stop(pid);
            return -1;
        }
    }
    return -1;
}

// Where names show in ListBox2, in the main window's pixels: the list box
// spans (464, 118) to (705, 431) of the client area, below a menu bar of up
// to 30 pixels. This band lies inside it whatever the menu bar's height, and
// below the check box above it; the simulator's card holds names enough to
// reach into it.
constexpr int kBandLeft = 470;
constexpr int kBandTop = 158;
constexpr int kBandWidth = 230;
constexpr int kBandHeight = 263;
constexpr int kCardNames = 14;

// Whether the band holds text: any dark pixel. An empty list box, enabled or
// not, holds none.
bool BandHoldsText(Display* x, Window window)
{
    XImage* image =
        XGetImage(x, window, kBandLeft, kBandTop, kBandWidth, kBandHeight, AllPlanes, ZPixmap);
    if (image == nullptr) {
        return false;
    }
    bool text = false;
    for (int row = 0; row < kBandHeight && !text; ++row) {
        for (int column = 0; column < kBandWidth && !text; ++column) {
            const unsigned long pixel = XGetPixel(image, column, row);
            const unsigned long red = (pixel >> 16) & 0xFF;
            const unsigned long green = (pixel >> 8) & 0xFF;
            const unsigned long blue = pixel & 0xFF;
            text = red + green + blue < 3 * 0x60;
        }
    }
    XDestroyImage(image);
    return text;
}

// A window not yet viewable refuses its image; that is no reason to end.
int IgnoreXError(Display*, XErrorEvent*)
{
    return 0;
}

}  // namespace

StartUpFigures MeasureStartUp(const fs::path& executable, const fs::path& workFolder)
{
    StartUpFigures figures;
    if (!fs::exists("/usr/bin/Xvfb")) {
        std::fprintf(stderr, "start-up: no Xvfb here\n");
        return figures;
    }
    // A copy, so that its settings file is its own and not the build's.
    const fs::path folder = workFolder / "startup";
    const fs::path jobs = folder / "jobs";
    fs::create_directories(jobs);
    const fs::path tool = folder / "cardpush";
    fs::copy_file(executable, tool, fs::copy_options::overwrite_existing);

    testing::SimProcess sim;
    for (int i = 0; i < kCardNames; ++i) {
        sim.PutCardFile("CARD" + std::to_string(10 + i), "1 x\r\n");
    }
    WriteSettingsFile(folder, jobs, sim.DevicePath());

    std::string display;
    const pid_t server = StartXServer(display);
    Display* x = server > 0 ? XOpenDisplay(display.c_str()) : nullptr;
    if (x == nullptr) {
        std::fprintf(stderr, "start-up: no X server\n");
        Stop(server);
        return figures;
    }
    XSetErrorHandler(IgnoreXError);
    XSelectInput(x, DefaultRootWindow(x), SubstructureNotifyMask);
    XSync(x, False);

    // The display and platform go as the tool's own arguments: its
    // environment is this process's.
    const Clock::time_point start = Clock::now();
    const pid_t pid = Spawn({tool.string(), "-platform", "xcb", "-display", display});
    const auto since = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    Window mainWindow = 0;
    while (pid > 0 && since() < 20) {
        while (XPending(x) > 0) {
            XEvent event;
            XNextEvent(x, &event);
            if (event.type == MapNotify && !event.xmap.override_redirect &&
                figures.windowShown < 0) {
                figures.windowShown = since();
                mainWindow = event.xmap.window;
            }
        }
        if (figures.listingRequested < 0 && sim.WireLog().find('>') != std::string::npos) {
            figures.listingRequested = since();
        }
        if (figures.listingRequested >= 0 && mainWindow != 0 && BandHoldsText(x, mainWindow)) {
            figures.listingShown = since();
            break;
        }
        pollfd wait{ConnectionNumber(x), POLLIN, 0};
        ::poll(&wait, 1, 2);
    }
    Stop(pid);
    XCloseDisplay(x);
    Stop(server);
    figures.ok = figures.listingShown >= 0;
    if (!figures.ok) {
        std::fprintf(stderr, "start-up: the tool did not show its listing: %s\n",
                     sim.Messages().c_str());
    }
    return figures;
}

}  // namespace cardpush::bench
