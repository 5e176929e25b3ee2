// The command line's commands, each run on the same session as the windows:
// found controller, firmware gate, checks, card names, listing-proven
// deletes and journal all come from there.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "cli/console.h"
#include "jobs/card_commands.h"
#include "platform/comm_api_fwd.h"

namespace cardpush::cli {

// The exit statuses, as --help lists them. When several apply, the highest
// is the one returned (a stop outranks a failed transfer, which outranks a
// refused file).
enum ExitStatus : int {
    kDone = 0,
    kError = 1,            // an error of its own (the settings, a folder)
    kUsage = 2,            // bad usage: the command line could not be read
    kNoController = 3,     // no controller answered on any port
    kFirmwareRefuses = 4,  // the controller's firmware refuses card commands
    kRejected = 5,         // a job file refused by its checks, a name not on the card
    kTransferFailed = 6,   // a write failed, the link was lost, the listing did not show it
    kStopped = 7,          // Ctrl-C (SIGINT, SIGTERM): stopped after the file being sent
};

struct Request {
    enum class Command { Ports, Info, List, Upload, Delete, Watch };
    Command command = Command::List;
    // Empty: the saved port first, then every port, as the windows search.
    std::string port;
    // Empty: nastr.dat where the windows keep it.
    std::filesystem::path settings;
    // upload: job files and folders; watch: the folder.
    std::vector<std::filesystem::path> paths;
    // delete: card names (UTF-8), or all of them.
    std::vector<std::string> names;
    bool all = false;
    UploadOptions options{false, false};
};

// Runs request on this thread, which becomes the session's main thread,
// with the system's serial ports unless devices are given; returns the exit
// status.
int Run(const Request& request, Console& console, platform::CommApi& devices);
int Run(const Request& request, Console& console);

}  // namespace cardpush::cli
