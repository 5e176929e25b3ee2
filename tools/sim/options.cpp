#include "sim/options.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <limits>
#include <optional>
#include <utility>

namespace cardpush::sim {
namespace {

// Bytes that would end or restart a reply field on the wire if a value carried them.
constexpr std::string_view kFieldBreakers = "BDMNRSTV_";

struct OptionRule {
    const char* arg;  // nullptr: a flag without a value
    const char* help;
    std::function<std::string(SimOptions&, const std::string&)> apply;  // "" or an error
};

std::string Integer(const std::string& text, long low, long high, long& out)
{
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) {
        return "expects a whole number from " + std::to_string(low) + " to " +
               std::to_string(high) + ", not '" + text + "'";
    }
    out = value;
    return {};
}

// An option with a whole-number value in [low, high], stored through `store`.
template <typename Store>
auto Number(long low, long high, Store store)
{
    return [=](SimOptions& o, const std::string& v) {
        long n = 0;
        auto error = Integer(v, low, high, n);
        if (error.empty()) {
            store(o, n);
        }
        return error;
    };
}

template <typename Store>
auto Text(Store store)
{
    return [=](SimOptions& o, const std::string& v) {
        store(o, v);
        return std::string();
    };
}

template <typename Store>
auto Flag(Store store)
{
    return [=](SimOptions& o, const std::string&) {
        store(o);
        return std::string();
    };
}

// For a plain or an optional text.
template <typename Value>
auto FieldValue(Value ControllerConfig::*field)
{
    return [field](SimOptions& o, const std::string& v) -> std::string {
        if (v.find_first_of(kFieldBreakers) != std::string::npos) {
            return "value '" + v + "' holds a field letter (B D M N R S T V) or '_'";
        }
        o.controller.*field = v;
        return {};
    };
}

std::string SkipReply(SimOptions& o, const std::string& v)
{
    if (v.size() != 1 || kCommands.find(v[0]) == std::string_view::npos) {
        return "expects one of S N M B D V R >, not '" + v + "'";
    }
    o.controller.skip_reply = v[0];
    return {};
}

constexpr long kMaxMillis = 3'600'000;
constexpr std::size_t kHelpIndent = 24;
constexpr std::size_t kHelpWidth = 79;

// In the order --help shows them.
const std::vector<std::pair<std::string, OptionRule>>& Rules()
{
    static const std::vector<std::pair<std::string, OptionRule>> rules{
        {"--link",
         {"PATH",
          "also make PATH a symbolic link to the device (a stale link is replaced); "
          "removed at the end",
          Text([](SimOptions& o, const std::string& v) { o.link = v; })}},
        {"--card-dir",
         {"DIR",
          "keep the card files in DIR (created if missing, kept at the end); default: a "
          "fresh temporary folder, removed at the end",
          Text([](SimOptions& o, const std::string& v) { o.card_dir = v; })}},
        {"--wire-log",
         {"FILE", "write every byte received to FILE, raw, as it arrives",
          Text([](SimOptions& o, const std::string& v) { o.wire_log = v; })}},
        {"--serial",
         {"TEXT", "serial number, the answer to N (default 12345)",
          FieldValue(&ControllerConfig::serial)}},
        {"--min",
         {"TEXT", "minimum, the answer to M (default -1.5)",
          FieldValue(&ControllerConfig::minimum)}},
        {"--max",
         {"TEXT", "maximum, the answer to B (default 12.5)",
          FieldValue(&ControllerConfig::maximum)}},
        {"--accuracy",
         {"TEXT", "accuracy, the answer to D (default 3)",
          FieldValue(&ControllerConfig::accuracy)}},
        {"--firmware",
         {"TEXT", "firmware version, the answer to V (default 72; e.g. 71 or abc to be refused)",
          FieldValue(&ControllerConfig::firmware)}},
        {"--mode",
         {"TEXT", "mode, the answer to R (default 1)", FieldValue(&ControllerConfig::mode)}},
        {"--serial-after-drop",
         {"TEXT",
          "once the line has dropped and come back, answer N with TEXT instead of "
          "--serial (another controller on the same port)",
          FieldValue(&ControllerConfig::serial_after_drop)}},
        {"--s-delay",
         {"MS", "answer S only MS milliseconds late (later replies wait behind it)",
          Number(0, kMaxMillis,
                 [](SimOptions& o, long n) { o.controller.presence_delay = Millis{n}; })}},
        {"--no-answer",
         {nullptr, "answer no command at all (bytes are still received, logged and stored)",
          Flag([](SimOptions& o) { o.controller.answer = false; })}},
        {"--split",
         {"N", "send replies in pieces of N bytes",
          Number(1, 65536, [](SimOptions& o, long n) { o.split = static_cast<int>(n); })}},
        {"--split-delay",
         {"MS", "pause before each piece of a split reply (default 20)",
          Number(0, kMaxMillis, [](SimOptions& o, long n) { o.split_delay = Millis{n}; })}},
        {"--wrong-letter",
         {nullptr, "send a field T9_ before each identification field",
          Flag([](SimOptions& o) { o.controller.wrong_letter = true; })}},
        {"--foreign-fields",
         {nullptr,
          "answer each identification command (N M B D V R) with a field T9_ only, never "
          "its own; S and > as usual",
          Flag([](SimOptions& o) { o.controller.foreign_fields = true; })}},
        {"--skip-reply",
         {"LETTER",
          "leave the first command LETTER (S N M B D V R, or > for the listing) unanswered, "
          "as a controller that rebooted; later ones are answered",
          SkipReply}},
        {"--read-only-card",
         {nullptr,
          "a full or write-protected card: delete frames and uploads are read whole but "
          "change nothing, the listing shows the files that were there",
          Flag([](SimOptions& o) { o.controller.read_only_card = true; })}},
        {"--short-listing",
         {"N", "announce N more card files in a listing than it sends",
          Number(1, 255,
                 [](SimOptions& o, long n) { o.controller.short_listing = static_cast<int>(n); })}},
        {"--baud",
         {"RATE", "read no faster than a line of RATE bits per second carries (10 bits a byte)",
          Number(50, 4'000'000, [](SimOptions& o, long n) { o.baud = static_cast<int>(n); })}},
        {"--exit-with-parent",
         {nullptr,
          "stop (and tidy up) when the process that started it ends, e.g. a run "
          "script that then becomes the tool with exec",
          Flag([](SimOptions& o) { o.exit_with_parent = true; })}},
        {"--frame-timeout",
         {"MS",
          "drop a delete or upload frame when no byte of it has come for MS "
          "milliseconds (default 2000; 0: wait forever)",
          Number(0, kMaxMillis,
                 [](SimOptions& o, long n) { o.controller.frame_timeout = Millis{n}; })}},
        {"--drop-after-bytes",
         {"N",
          "drop the line once N bytes have come in since the start (once): replies still "
          "due are lost, an unfinished frame is dropped, bytes after the N-th are never read",
          Number(
              1, std::numeric_limits<long>::max(),
              [](SimOptions& o, long n) { o.drop_after_bytes = static_cast<std::uint64_t>(n); })}},
        {"--drop-pause",
         {"MS", "how long a dropped line stays away before it comes back (default 500)",
          Number(0, kMaxMillis, [](SimOptions& o, long n) { o.drop_pause = Millis{n}; })}},
        {"--silent-for",
         {"MS",
          "end a silence begun by SIGUSR2 by itself after MS milliseconds (default 0: "
          "only the next SIGUSR2 ends it)",
          Number(0, kMaxMillis, [](SimOptions& o, long n) { o.silent_for = Millis{n}; })}},
        {"--help", {nullptr, "show this text and exit", nullptr}},
    };
    return rules;
}

const OptionRule* FindRule(const std::string& name)
{
    for (const auto& [key, rule] : Rules()) {
        if (key == name) {
            return &rule;
        }
    }
    return nullptr;
}

}  // namespace

ParsedOptions ParseOptions(const std::vector<std::string>& args)
{
    SimOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        if (name.rfind("--", 0) != 0) {
            return OptionError{"unexpected argument '" + name + "'"};
        }
        const OptionRule* found = FindRule(name);
        if (found == nullptr) {
            return OptionError{"unknown option '" + name + "'"};
        }
        const OptionRule& rule = *found;
        if (!rule.apply) {
            return ShowHelp{};
        }
        if (rule.arg == nullptr && value) {
            return OptionError{"option " + name + " takes no value"};
        }
        if (rule.arg != nullptr && !value) {
            if (i + 1 >= args.size()) {
                return OptionError{"option " + name + " needs a value (" + rule.arg + ")"};
            }
            value = args[++i];
        }
        if (auto error = rule.apply(options, value.value_or("")); !error.empty()) {
            return OptionError{"option " + name + ": " + error};
        }
    }
    return options;
}

std::string HelpText()
{
    std::string text =
        "Usage: cardpush-sim [OPTION]...\n"
        "A roller-table controller on a pseudo-terminal, for trying and testing CardPush.\n"
        "Prints the device path on the first line of its output, then serves the line until\n"
        "it gets SIGINT, SIGTERM or SIGHUP. Its log goes to standard error.\n"
        "\n"
        "SIGUSR1 drops the line, as an unplugged adapter would: the pseudo-terminal is closed\n"
        "(the open port hangs up: reads find the end, writes fail) and the link removed.\n"
        "After the drop pause, or at once on the next SIGUSR1, a fresh pseudo-terminal comes\n"
        "up and the link is pointed at it. The card folder stays as it is. SIGUSR2 makes the\n"
        "controller go silent: the line stays open, received bytes are logged but neither\n"
        "acted on nor answered, replies still due are lost; the next SIGUSR2 (or the end of\n"
        "--silent-for) lets it answer again.\n"
        "Each change is one more line of output: 'dropped' when the line goes, the new device\n"
        "path when it is back, 'silent' and 'answering' when a silence begins and ends.\n"
        "\n"
        "It answers S with S0_, the identification commands N M B D V R with their fields,\n"
        "> with the listing of its card folder; a delete frame removes a card file, an upload\n"
        "(header frame and its content) stores one. Card names longer than 8 bytes are cut\n"
        "to 8 when stored. Replies that fall due while no program has the device open are\n"
        "lost, as on a real line.\n"
        "\n"
        "Options:\n";
    for (const auto& [name, rule] : Rules()) {
        std::string line = "  " + name + (rule.arg ? std::string(" ") + rule.arg : "");
        line.resize(std::max<std::size_t>(line.size() + 2, kHelpIndent), ' ');
        // Wrapped at word boundaries, continuation lines under the first.
        std::string_view help = rule.help;
        while (!help.empty()) {
            std::size_t cut = help.size();
            if (line.size() + cut > kHelpWidth) {
                cut = help.rfind(' ', kHelpWidth - line.size());
            }
            line += help.substr(0, cut);
            text += line + "\n";
            help.remove_prefix(std::min(help.size(), cut + 1));
            line.assign(kHelpIndent, ' ');
        }
    }
    text += "\nExit status: 0 when stopped by a signal, 1 on a failure, 2 on a bad option.\n";
    return text;
}

}  // namespace cardpush::sim
