#pragma once

#include <cstdint>
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
    std::uint64_t drop_after_bytes = 0;  // the line drops once this many came in; 0: never
    Millis drop_pause{500};              // how long a dropped line stays away
    Millis silent_for{0};                // how long a silence lasts; 0: until it is ended
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
