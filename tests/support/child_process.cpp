#include "support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "support/temp_folder.h"

extern char** environ;

namespace cardpush::testing {

ChildProcess::ChildProcess(const std::vector<std::string>& arguments,
                           const std::filesystem::path& folder)
    : out_(folder / "stdout"), err_(folder / "stderr")
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess()
{
    if (Running()) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

void ChildProcess::Signal(int signo) const
{
    if (pid_ > 0 && !ended_) {
        ::kill(pid_, signo);
    }
}

bool ChildProcess::Running()
{
    if (pid_ <= 0 || ended_) {
        return false;
    }
    if (::waitpid(pid_, &status_, WNOHANG) == pid_) {
        ended_ = true;
    }
    return !ended_;
}

int ChildProcess::ExitStatus() const
{
    return ended_ && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

int ChildProcess::Wait(std::chrono::milliseconds guard)
{
    const auto end = std::chrono::steady_clock::now() + guard;
    while (Running()) {
        if (std::chrono::steady_clock::now() >= end) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status_, 0);
            ended_ = true;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return ExitStatus();
}

std::string ChildProcess::Output() const
{
    return ReadBytes(out_);
}

std::string ChildProcess::Errors() const
{
    return ReadBytes(err_);
}

}  // namespace cardpush::testing
