// cardpush-sim: a roller-table controller on a pseudo-terminal.

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>

#include "sim/card_folder.h"
#include "sim/failure.h"
#include "sim/options.h"
#include "sim/simulator.h"

namespace {

using namespace cardpush::sim;

constexpr int kExitFailure = 1;
constexpr int kExitBadOption = 2;

void Log(const std::string& line)
{
    std::cerr << "cardpush-sim: " << line << std::endl;
}

// Signals arrive as readable bytes on a descriptor the event loop polls, so the loop acts on
// them between two steps (and when it stops, every clean-up below runs).
int LoopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, kDropSignal, kSilenceSignal}) {
        sigaddset(&set, sig);
    }
    if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) {
        Fail(Failure::kSignals, {}, errno);
    }
    const int fd = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (fd < 0) {
        Fail(Failure::kSignals, {}, errno);
    }
    // A reader of our output that went away must not end us.
    signal(SIGPIPE, SIG_IGN);
    return fd;
}

// The card folder: the one given (made if missing, kept), or a fresh temporary one that goes
// with the simulator.
class CardDir {
public:
    explicit CardDir(const std::string& given)
    {
        std::error_code ec;
        if (!given.empty()) {
            path_ = given;
            std::filesystem::create_directories(path_, ec);
            if (ec || !std::filesystem::is_directory(path_)) {
                Fail(Failure::kCardDir, given, ec.value());
            }
            return;
        }
        const auto base = std::filesystem::temp_directory_path(ec);
        std::string pattern =
            ((ec ? std::filesystem::path("/tmp") : base) / "cardpush-sim-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            Fail(Failure::kCardDir, pattern, errno);
        }
        path_ = pattern;
        owned_ = true;
    }
    ~CardDir()
    {
        if (owned_) {
            std::error_code ec;
            std::filesystem::remove_all(path_, ec);
        }
    }
    CardDir(const CardDir&) = delete;
    CardDir& operator=(const CardDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
    bool owned_ = false;
};

class WireLog {
public:
    explicit WireLog(const std::string& path)
    {
        if (!path.empty()) {
            fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (fd_ < 0) {
                Fail(Failure::kWireLog, path, errno);
            }
        }
    }
    ~WireLog()
    {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    WireLog(const WireLog&) = delete;
    WireLog& operator=(const WireLog&) = delete;

    int Fd() const { return fd_; }

private:
    int fd_ = -1;
};

int Serve(const SimOptions& options)
{
    const pid_t parent = getppid();
    const int signal_fd = LoopSignals();
    if (options.exit_with_parent) {
        // The parent's end becomes a SIGTERM on the stop descriptor. A parent that ended before
        // the request was made is seen by the change of parent.
        if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent) {
            Log("the parent has ended already");
            return 0;
        }
    }
    CardDir card_dir(options.card_dir);
    WireLog wire_log(options.wire_log);
    CardFolder card(card_dir.Path());
    // Each later change of the line or the silence is one more line of output.
    const auto status = [](const std::string& line) { std::cout << line << std::endl; };
    Simulator simulator(options, card, wire_log.Fd(), Log, status);

    // The first line of output is the device: whoever started us waits for it.
    std::cout << simulator.DevicePath() << std::endl;
    Log("serving " + simulator.DevicePath() + (options.link.empty() ? "" : " as " + options.link) +
        ", card folder " + card_dir.Path().string());

    simulator.Run(signal_fd);
    Log("stopped");
    close(signal_fd);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const ParsedOptions parsed = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (std::holds_alternative<ShowHelp>(parsed)) {
        std::cout << HelpText();
        return 0;
    }
    if (const auto* error = std::get_if<OptionError>(&parsed)) {
        std::cerr << "cardpush-sim: " << error->message << "\n"
                  << "Try 'cardpush-sim --help' for the list of options.\n";
        return kExitBadOption;
    }
    try {
        return Serve(std::get<SimOptions>(parsed));
    } catch (const SimError& e) {
        Log(e.what());
    } catch (const std::exception& e) {
        Log(std::string("unexpected failure: ") + e.what());
    }
    return kExitFailure;
}
