// A program of the build run as a child process by a test or a benchmark:
// no input, its standard output and standard error into files of a folder.
// Killed when it is still running as this goes.
//
// Not thread-safe: one thread starts, inspects and stops it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace cardpush::testing {

class ChildProcess {
public:
    // Starts arguments[0] with arguments; its output goes to folder/stdout
    // and folder/stderr. Pid() is -1 when it could not be started.
    ChildProcess(const std::vector<std::string>& arguments, const std::filesystem::path& folder);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return pid_; }
    void Signal(int signo) const;
    // Whether it was started and has not ended; reaps it once it has.
    bool Running();
    // Its exit status once ended; -1 while it runs, or when a signal ended it.
    int ExitStatus() const;
    // Waits for its end, looking now and then; past guard it is killed.
    // Returns ExitStatus().
    int Wait(std::chrono::milliseconds guard);

    std::string Output() const;
    std::string Errors() const;

private:
    std::filesystem::path out_;
    std::filesystem::path err_;
    pid_t pid_ = -1;
    int status_ = 0;
    bool ended_ = false;
};

}  // namespace cardpush::testing
