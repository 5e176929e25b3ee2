#include "startup_probe.h"

#include <X11/Xlib.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/settings_format.h"
#include "platform/cp1251.h"
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
        const pid_t pid =
            Spawn({"/usr/bin/Xvfb", display, "-nolisten", "tcp", "-screen", "0", "1024x768x24"});
        for (int i = 0; pid > 0 && i < 100; ++i) {
            if (Display* probe = XOpenDisplay(display.c_str())) {
                XCloseDisplay(probe);
                return pid;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        Stop(pid);
        return -1;
    }
    return -1;
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
    sim.PutCardFile("A1", "1 x\r\n");
    Settings settings;
    settings.sourceFolder = Utf8ToCp1251(jobs.string());
    settings.port = sim.DevicePath();
    std::ofstream(folder / "nastr.dat", std::ios::binary) << FormatSettings(settings);

    std::string display;
    const pid_t server = StartXServer(display);
    Display* x = server > 0 ? XOpenDisplay(display.c_str()) : nullptr;
    if (x == nullptr) {
        std::fprintf(stderr, "start-up: no X server\n");
        Stop(server);
        return figures;
    }
    XSelectInput(x, DefaultRootWindow(x), SubstructureNotifyMask);
    XSync(x, False);

    // The display and platform go as the tool's own arguments: its
    // environment is this process's.
    const Clock::time_point start = Clock::now();
    const pid_t pid = Spawn({tool.string(), "-platform", "xcb", "-display", display});
    const auto since = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    while (pid > 0 && since() < 20) {
        while (XPending(x) > 0) {
            XEvent event;
            XNextEvent(x, &event);
            if (event.type == MapNotify && !event.xmap.override_redirect &&
                figures.windowShown < 0) {
                figures.windowShown = since();
            }
        }
        if (figures.listingRequested < 0 && sim.WireLog().find('>') != std::string::npos) {
            figures.listingRequested = since();
        }
        if (figures.windowShown >= 0 && figures.listingRequested >= 0) {
            break;
        }
        pollfd wait{ConnectionNumber(x), POLLIN, 0};
        ::poll(&wait, 1, 2);
    }
    Stop(pid);
    XCloseDisplay(x);
    Stop(server);
    figures.ok = figures.windowShown >= 0 && figures.listingRequested >= 0;
    if (!figures.ok) {
        std::fprintf(stderr, "start-up: the tool did not get to its listing: %s\n",
                     sim.Messages().c_str());
    }
    return figures;
}

}  // namespace cardpush::bench
