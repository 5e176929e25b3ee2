#include "cli/console.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>

#include "platform/wide_text.h"
#else
#include <unistd.h>
#endif

namespace cardpush::cli {
namespace {

#ifdef _WIN32
HANDLE StreamHandle(bool toError)
{
    return GetStdHandle(toError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
}

bool IsConsole(bool toError)
{
    DWORD mode = 0;
    return GetConsoleMode(StreamHandle(toError), &mode) != 0;
}

std::string InCodePage(std::string_view utf8, UINT codePage)
{
    const std::wstring wide = WideFromUtf8(utf8);
    if (wide.empty()) {
        return {};
    }
    const int length = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(),
                        length, nullptr, nullptr);
    return bytes;
}
#else
bool IsConsole(bool toError)
{
    return isatty(toError ? STDERR_FILENO : STDOUT_FILENO) != 0;
}
#endif

// What a terminal shows of a UTF-8 text: one column per code point.
std::size_t CodePoints(std::string_view utf8)
{
    std::size_t count = 0;
    for (const char c : utf8) {
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    return count;
}

}  // namespace

Console::Console(bool json, bool quiet)
    : json_(json), quiet_(quiet), progressOnTerminal_(!json && !quiet && IsConsole(true))
{
}

void Console::Write(bool toError, std::string_view text, bool utf8Always)
{
    std::FILE* stream = toError ? stderr : stdout;
#ifdef _WIN32
    if (IsConsole(toError)) {
        std::fflush(stream);
        const std::wstring wide = WideFromUtf8(text);
        DWORD written = 0;
        WriteConsoleW(StreamHandle(toError), wide.data(), static_cast<DWORD>(wide.size()), &written,
                      nullptr);
        return;
    }
    if (!utf8Always) {
        const UINT codePage = GetConsoleOutputCP();
        const std::string bytes = InCodePage(text, codePage != 0 ? codePage : GetACP());
        std::fwrite(bytes.data(), 1, bytes.size(), stream);
        std::fflush(stream);
        return;
    }
#else
    (void)utf8Always;
#endif
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

void Console::Result(std::string_view line)
{
    EndProgress();
    Write(false, std::string(line) + "\n");
}

void Console::Record(const nlohmann::json& object)
{
    // Bytes that are not UTF-8 (a POSIX file name) are replaced, not thrown.
    Write(false, object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n",
          true);
}

void Console::Status(std::string_view line)
{
    if (!json_ && !quiet_) {
        EndProgress();
        Write(true, std::string(line) + "\n");
    }
}

void Console::Message(std::string_view text)
{
    if (json_) {
        Record({{"type", "message"}, {"text", text}});
        return;
    }
    EndProgress();
    Write(true, std::string(text) + "\n");
}

void Console::Progress(std::string_view line)
{
    if (progressOnTerminal_) {
        // Back to the line's start, the text, and blanks over what is left
        // of a longer line before.
        const std::size_t width = CodePoints(line);
        std::string text = "\r" + std::string(line);
        text.append(progressWidth_ > width ? progressWidth_ - width : 0, ' ');
        Write(true, text);
        progressWidth_ = width;
    }
}

void Console::EndProgress()
{
    if (progressWidth_ > 0) {
        Write(true, "\r" + std::string(progressWidth_, ' ') + "\r");
        progressWidth_ = 0;
    }
}

}  // namespace cardpush::cli
