#include "support/sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "link/protocol.h"

extern char** environ;

namespace cardpush::testing {
namespace {

namespace fs = std::filesystem;

// How long the simulator may take to name its device, or to report a change
// of its line, before it counts as hung; it normally does so at once.
constexpr int kReportGuardMs = 20000;

// How long the simulator may take to end after SIGTERM before it counts as
// hung; it normally ends at once, sanitizer builds after their exit checks.
constexpr std::chrono::seconds kStopGuard{10};

// Reaps the child; false when it has not ended within the guard.
bool WaitForEnd(pid_t pid, int& status)
{
    const auto end = std::chrono::steady_clock::now() + kStopGuard;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// The next line of the simulator's output, without its line end; empty when
// the simulator ends or stays quiet first. Read a byte at a time, so that
// nothing beyond the line is taken from the pipe.
std::string ReadOutputLine(int fd)
{
    std::string line;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, kReportGuardMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return {};
        }
        char c = 0;
        const ssize_t n = read(fd, &c, 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return {};
        }
        if (c == '\n') {
            return line;
        }
        line += c;
    }
}

}  // namespace

SimProcess::SimProcess(std::vector<std::string> options)
    : dir_("cardpush-e2e"), cardDir_(dir_ / "card")
{
    fs::create_directories(cardDir_);
    std::vector<std::string> args{CARDPUSH_SIM_PATH,
                                  "--card-dir",
                                  cardDir_.string(),
                                  "--wire-log",
                                  (dir_ / "wire.log").string(),
                                  "--exit-with-parent"};
    args.insert(args.end(), options.begin(), options.end());

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        throw std::system_error(errno, std::generic_category(), "pipe2");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (dir_ / "sim.err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const int rc = posix_spawn(&pid_, CARDPUSH_SIM_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    stdout_ = out[0];
    if (rc != 0) {
        pid_ = -1;
        close(stdout_);
        throw std::system_error(rc, std::generic_category(), "cannot start " CARDPUSH_SIM_PATH);
    }
    device_ = ReadOutputLine(stdout_);
    if (device_.empty()) {
        const std::string messages = Messages();
        Stop();
        throw std::runtime_error("the simulator named no device: " + messages);
    }
}

SimProcess::~SimProcess()
{
    try {
        Stop();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
}

std::string SimProcess::WireLog() const
{
    return ReadBytes(dir_ / "wire.log");
}

std::string SimProcess::Messages() const
{
    return ReadBytes(dir_ / "sim.err");
}

std::vector<std::string> SimProcess::CardFiles() const
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(cardDir_)) {
        const std::string name = entry.path().filename().string();
        // The simulator's own temporary files start with a dot.
        if (!name.empty() && name.front() != '.') {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

void SimProcess::PutCardFile(const std::string& name, const std::string& content) const
{
    std::ofstream(cardDir_ / name, std::ios::binary) << content;
}

void SimProcess::Suspend()
{
    if (pid_ > 0) {
        kill(pid_, SIGSTOP);
        suspended_ = true;
    }
}

void SimProcess::Resume()
{
    if (pid_ > 0) {
        kill(pid_, SIGCONT);
        suspended_ = false;
    }
}

void SimProcess::DropLine()
{
    Signal(SIGUSR1);
    WaitLineDown();
    WaitLineBack();
}

void SimProcess::CutLine()
{
    Signal(SIGUSR1);
    WaitLineDown();
}

void SimProcess::RestoreLine()
{
    Signal(SIGUSR1);
    WaitLineBack();
}

void SimProcess::WaitLineDown()
{
    WaitFor(&Reports::dropped);
}

const std::string& SimProcess::WaitLineBack()
{
    WaitFor(&Reports::back);
    return device_;
}

void SimProcess::BeginSilence()
{
    Signal(SIGUSR2);
    WaitFor(&Reports::silent);
}

void SimProcess::EndSilence()
{
    Signal(SIGUSR2);
    WaitAnswering();
}

void SimProcess::WaitAnswering()
{
    WaitFor(&Reports::answering);
}

void SimProcess::Signal(int signo)
{
    if (pid_ <= 0 || kill(pid_, signo) != 0) {
        throw std::runtime_error("cannot signal the simulator: it is not running");
    }
}

void SimProcess::WaitFor(int Reports::*count)
{
    while (reported_.*count <= waited_.*count) {
        ReadReport();
    }
    ++(waited_.*count);
}

void SimProcess::ReadReport()
{
    const std::string line = pid_ > 0 ? ReadOutputLine(stdout_) : std::string();
    if (line == "dropped") {
        ++reported_.dropped;
    } else if (line == "silent") {
        ++reported_.silent;
    } else if (line == "answering") {
        ++reported_.answering;
    } else if (!line.empty() && line.front() == '/') {
        device_ = line;
        ++reported_.back;
    } else {
        throw std::runtime_error((line.empty() ? std::string("the simulator reported nothing")
                                               : "the simulator reported '" + line + "'") +
                                 "; it said:\n" + Messages());
    }
}

int SimProcess::Stop()
{
    if (pid_ <= 0) {
        return -1;
    }
    // A suspended simulator reads its SIGTERM only once it runs again, so it
    // gets its SIGCONT first, never after: as a sanitizer build exits, its
    // leak check has a tracer attach to the process, which sends SIGSTOP. A
    // SIGCONT arriving then discards that stop, and the tracer waits for it
    // for ever while the process spins waiting for the tracer.
    if (suspended_) {
        kill(pid_, SIGCONT);
        suspended_ = false;
    }
    kill(pid_, SIGTERM);
    int status = 0;
    const bool ended = WaitForEnd(pid_, status);
    if (!ended) {
        kill(pid_, SIGKILL);
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    const pid_t pid = pid_;
    pid_ = -1;
    close(stdout_);
    stdout_ = -1;
    if (!ended) {
        throw std::runtime_error("the simulator (pid " + std::to_string(pid) +
                                 ") did not end within " + std::to_string(kStopGuard.count()) +
                                 " s of SIGTERM and was killed; it said:\n" + Messages());
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Listed(const std::string& name)
{
    return name + std::string(protocol::kCardNameSize - name.size(), ' ');
}

std::string Frames(const std::vector<std::string>& lines)
{
    std::string frames;
    for (const auto& line : lines) {
        frames += line + "\r\n";
    }
    return frames;
}

std::string UploadHeader(const std::string& cardName, std::size_t size)
{
    return "<" + cardName + "\\" + std::to_string(size) + "\\";
}

}  // namespace cardpush::testing
