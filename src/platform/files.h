// Files and folders, on Windows-1251 path strings.
//
// Every path and name that crosses this interface is a Windows-1251 byte
// string, as the rest of the tool holds it. On Windows the single-byte ("A")
// functions take them as they are; on POSIX the names on disk are UTF-8 and
// are converted here and nowhere else (a character that Windows-1251 lacks
// comes back as '?').
//
// All functions are thread-safe and may be called from any thread.
#pragma once

#include <cstdint>
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

// The folder that holds the running executable, without a trailing separator.
std::string ExecutableFolder();

// folder, the platform's separator ('\' or '/'), name. A folder that already
// ends with a separator (a drive's root) gets a second one; both platforms
// accept the doubled separator.
std::string JoinPath(std::string_view folder, std::string_view name);

// True when path names an existing file; a folder does not count.
bool FileExists(const std::string& path);

// The names (no folder part) of the entries of folder that match
// "*.<extension>", letter case ignored on every platform, in the order the
// system enumerates them. Every entry counts: hidden and read-only files and
// sub-folders whose names match alike. A missing or unreadable folder gives
// an empty list, and so does an empty folder string: it names no folder (it
// does not stand for the current drive's root).
std::vector<std::string> ListFolder(const std::string& folder, std::string_view extension);

// Deletes one file. Returns false when it could not be deleted (missing, a
// folder, read-only, held open on Windows); never throws. On POSIX a file
// without its owner's write permission counts as read-only and stays.
bool RemoveFile(const std::string& path);

// A file's bytes and the stamp it had when it was opened.
struct StampedFile {
    std::string bytes;
    FileStamp stamp;
};

// Reads a file whole, byte for byte, with its stamp. Throws EFileError, also
// at once for a named pipe or a device, which might never end. A file larger
// than limit bytes is not read into memory: EFileTooLarge is thrown as soon
// as that shows, at open or while reading.
StampedFile ReadStampedFile(const std::string& path, std::uint64_t limit);

// The whole content of a file, as ReadStampedFile reads it, without a limit.
inline std::string ReadWholeFile(const std::string& path)
{
    return ReadStampedFile(path, std::numeric_limits<std::uint64_t>::max()).bytes;
}

// The stamp of the file at path now; nothing when it is missing or is not a
// file.
std::optional<FileStamp> StampOf(const std::string& path);

// Replaces the content of path with bytes: a temporary file beside it is
// written and flushed, then renamed over path. On failure the temporary file
// is removed, whatever was at path before is left as it was, and EFileError
// is thrown.
void WriteFileAtomically(const std::string& path, std::string_view bytes);

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
