// Where the command line's output goes. Standard output carries what the
// command yields: human lines, or with --json one JSON object per line.
// Standard error carries the status, the operator's messages and, on a
// terminal only, a progress line that is rewritten in place.
//
// Texts are UTF-8 here. A Windows console is written in UTF-16, so that
// Russian shows whatever its code page; a redirected Windows stream gets
// the console's code page, except JSON lines, which are UTF-8 everywhere.
//
// Main thread only.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace cardpush::cli {

class Console {
public:
    Console(bool json, bool quiet);
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    bool Json() const { return json_; }
    bool Quiet() const { return quiet_; }

    // A line of the command's result (standard output, human mode).
    void Result(std::string_view line);
    // One JSON line (standard output, --json).
    void Record(const nlohmann::json& object);
    // A status line (standard error; not with --quiet or --json).
    void Status(std::string_view line);
    // An operator's message: standard error, or a JSON line of type
    // "message". Shown with --quiet too.
    void Message(std::string_view text);
    // The progress line: standard error, only when it is a terminal, and not
    // with --quiet or --json. EndProgress clears it.
    void Progress(std::string_view line);
    void EndProgress();

    // Text as it is, on standard output or standard error; utf8Always keeps
    // UTF-8 also on a redirected Windows stream.
    void Write(bool toError, std::string_view text, bool utf8Always = false);

private:
    bool json_;
    bool quiet_;
    bool progressOnTerminal_;
    // The progress line's width on the terminal now (0: none shown).
    std::size_t progressWidth_ = 0;
};

}  // namespace cardpush::cli
