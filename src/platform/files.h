// Files and folders, by the names the file system holds.
//
// Paths are std::filesystem::path values holding a file's real name: its
// bytes on POSIX, UTF-16 on Windows (the wide-character functions take it).
// A path is never rebuilt from its Windows-1251 text, which may have lost
// characters: the tool keeps the names the system gave it. Windows-1251
// text of a path (PathText) is for what the operator reads, the log, card
// names and the settings file.
//
// All functions are thread-safe and may be called from any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace cardpush::platform {

// A file could not be read or written. The message is Windows-1251 text,
// in Russian, and names the file.
class EFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file that is larger than its reader accepts. The message names it.
class EFileTooLarge : public EFileError {
public:
    using EFileError::EFileError;
};

// What tells one version of a file from another: its size, when it was last
// written, and which file it is on its volume (the inode on POSIX, the file
// index on Windows), so that a file replaced by another of the same size and
// time still differs.
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // the system's own units
    std::uint64_t volume = 0;
    std::uint64_t id = 0;

    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// --- names as text ---

// The Windows-1251 text of a path or name, as its composed form (NFC) reads:
// a character the code page lacks, and on POSIX a byte that is not UTF-8,
// becomes '?'. Two names may give one text; the path itself stays the key.
std::string PathText(const std::filesystem::path& path);

// The path whose name is this Windows-1251 text (as the settings file keeps
// a folder).
std::filesystem::path PathFromText(std::string_view cp1251);

// True when PathFromText(PathText(path)) is path again: its text can stand
// for it in a file that holds Windows-1251 text.
inline bool TextHoldsPath(const std::filesystem::path& path)
{
    return PathFromText(PathText(path)).native() == path.native();
}

// --- folders ---

// The folder that holds the running executable.
std::filesystem::path ExecutableFolder();

// The user's own folder for the tool's settings: $XDG_CONFIG_HOME/cardpush
// (~/.config/cardpush without it) on POSIX, %APPDATA%\CardPush on Windows.
// Not created here; empty when the system names no such folder.
std::filesystem::path UserSettingsFolder();

// True when a file can be made in folder now: a scratch file is created
// and removed again. Creates the folder (and its parents) if it is missing.
bool CanWriteIn(const std::filesystem::path& folder);

// True when path names an existing file; a folder does not count.
bool FileExists(const std::filesystem::path& path);

// The names (no folder part) of the entries of folder that match
// "*.<extension>", letter case ignored on every platform, in the order the
// system enumerates them. Every entry counts: hidden and read-only files and
// sub-folders whose names match alike. A missing or unreadable folder gives
// an empty list, and so does an empty folder path: it names no folder (it
// does not stand for the current drive's root).
std::vector<std::filesystem::path> ListFolder(const std::filesystem::path& folder,
                                              std::string_view extension);

// Deletes one file. Returns false when it could not be deleted (missing, a
// folder, read-only, held open on Windows); never throws. On POSIX a file
// without its owner's write permission counts as read-only and stays.
bool RemoveFile(const std::filesystem::path& path);

// A file's bytes and the stamp it had when it was opened.
struct StampedFile {
    std::string bytes;
    FileStamp stamp;
};

// Reads a file whole, byte for byte, with its stamp. Throws EFileError, also
// at once for a named pipe or a device, which might never end. A file larger
// than limit bytes is not read into memory: EFileTooLarge is thrown as soon
// as that shows, at open or while reading.
StampedFile ReadStampedFile(const std::filesystem::path& path, std::uint64_t limit);

// The whole content of a file, as ReadStampedFile reads it, without a limit.
inline std::string ReadWholeFile(const std::filesystem::path& path)
{
    return ReadStampedFile(path, std::numeric_limits<std::uint64_t>::max()).bytes;
}

// The stamp of the file at path now; nothing when it is missing or is not a
// file.
std::optional<FileStamp> StampOf(const std::filesystem::path& path);

// The size of the file at path now; nothing when StampOf has nothing.
inline std::optional<std::uint64_t> SizeOf(const std::filesystem::path& path)
{
    if (const auto stamp = StampOf(path)) {
        return stamp->size;
    }
    return std::nullopt;
}

// Replaces the content of path with bytes: a temporary file beside it is
// written and flushed, then renamed over path. Where path is a symbolic
// link, the file it leads to is replaced so, and the link stays. On failure
// the temporary file is removed, whatever was at path before is left as it
// was, and EFileError is thrown.
void WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// While one lives, the system's own critical-error prompts (such as "drive
// not ready") are suppressed, so that a folder dialog browsing such a drive
// gets a failure instead of a system box; the previous mode comes back when
// it ends. Where the system has no such prompts, it does nothing.
class CriticalErrorPromptsOff {
public:
    CriticalErrorPromptsOff();
    ~CriticalErrorPromptsOff();
    CriticalErrorPromptsOff(const CriticalErrorPromptsOff&) = delete;
    CriticalErrorPromptsOff& operator=(const CriticalErrorPromptsOff&) = delete;

private:
    [[maybe_unused]] unsigned previous_ = 0;  // used on Windows only
};

}  // namespace cardpush::platform
