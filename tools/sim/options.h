#pragma once

#include <string>
#include <variant>
#include <vector>

#include "sim/protocol.h"

namespace cardpush::sim {

struct SimOptions {
    ControllerConfig controller;
    std::string link;      // symbolic link to the device; empty: none
    std::string card_dir;  // empty: a fresh temporary folder, removed at the end
    std::string wire_log;  // empty: received bytes are not written out
    bool exit_with_parent = false;
    int split = 0;  // reply piece size; 0: replies go out whole
    Millis split_delay{20};
    int baud = 0;  // reading paced to this line speed; 0: as fast as bytes come
};

struct ShowHelp {};
struct OptionError {
    std::string message;
};

using ParsedOptions = std::variant<SimOptions, ShowHelp, OptionError>;

// Reads the command line (without the program name). "--name value" and "--name=value" both
// work.
ParsedOptions ParseOptions(const std::vector<std::string>& args);

// The text of --help.
std::string HelpText();

}  // namespace cardpush::sim
