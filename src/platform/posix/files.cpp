#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/cp1251.h"
#include "platform/files_errors.h"

namespace cardpush::platform {
namespace {

namespace fs = std::filesystem;
using files_detail::Fail;
using files_detail::FileFailure;

// The "*.<extension>" match of Windows: the star may be empty, so ".txt"
// itself matches. The extension is ASCII; the name's bytes are compared as
// they are.
bool MatchesExtension(std::string_view name, std::string_view extension)
{
    if (name.size() < extension.size() + 1) {
        return false;
    }
    const std::string_view tail = name.substr(name.size() - extension.size());
    return name[name.size() - extension.size() - 1] == '.' &&
           EqualIgnoringCaseCp1251(tail, extension);
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    // Closes now so that a failing close can be seen (NFS reports late write
    // errors there).
    bool Close()
    {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// A name beside target that no other writer of this process or another one
// picks: the process id and a counter.
std::string TemporaryNameFor(const std::string& target)
{
    static std::atomic<unsigned> counter{0};
    return target + "." + std::to_string(::getpid()) + "." + std::to_string(counter++) + ".tmp";
}

}  // namespace

// File names on disk are bytes; the system's convention, and this tool's,
// is UTF-8.
std::string PathText(const fs::path& path)
{
    return Utf8ToCp1251(path.native());
}

fs::path PathFromText(std::string_view cp1251)
{
    return Cp1251ToUtf8(cp1251);
}

fs::path ExecutableFolder()
{
    std::string buffer(PATH_MAX, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0) {
        return ".";
    }
    buffer.resize(static_cast<std::size_t>(n));
    return fs::path(buffer).parent_path();
}

fs::path UserSettingsFolder()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        return fs::path(config) / "cardpush";
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return fs::path(home) / ".config" / "cardpush";
    }
    return {};
}

bool CanWriteIn(const fs::path& folder)
{
    std::error_code error;
    fs::create_directories(folder, error);
    const std::string scratch = TemporaryNameFor((folder / ".cardpush-write-check").native());
    const int fd = ::open(scratch.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    ::unlink(scratch.c_str());
    return true;
}

bool FileExists(const fs::path& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

std::vector<fs::path> ListFolder(const fs::path& folder, std::string_view extension)
{
    std::vector<fs::path> names;
    if (folder.empty()) {
        return names;
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        if (MatchesExtension(entry->d_name, extension)) {
            names.emplace_back(entry->d_name);
        }
    }
    return names;
}

bool RemoveFile(const fs::path& path)
{
    // A file without write permission is the read-only file of Windows,
    // which DeleteFile leaves alone; unlink would remove it. unlink refuses
    // folders by itself.
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        (info.st_mode & S_IWUSR) == 0) {
        return false;
    }
    return ::unlink(path.c_str()) == 0;
}

namespace {

FileStamp StampFromStat(const struct stat& info)
{
    FileStamp stamp;
    stamp.size = static_cast<std::uint64_t>(info.st_size);
    stamp.modified =
        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    stamp.volume = static_cast<std::uint64_t>(info.st_dev);
    stamp.id = static_cast<std::uint64_t>(info.st_ino);
    return stamp;
}

}  // namespace

StampedFile ReadStampedFile(const fs::path& path, std::uint64_t limit)
{
    // A named pipe or a device would make open or read wait for a writer
    // that may never come, and freeze the caller: only files and folders are
    // opened, and without waiting. (A folder fails at its first read.)
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat info {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0 ||
        !(S_ISREG(info.st_mode) || S_ISDIR(info.st_mode))) {
        Fail(FileFailure::Open, path);
    }
    StampedFile file;
    file.stamp = StampFromStat(info);
    if (S_ISREG(info.st_mode) && file.stamp.size > limit) {
        Fail(FileFailure::TooLarge, path);
    }
    if (S_ISREG(info.st_mode)) {
        file.bytes.reserve(static_cast<std::size_t>(file.stamp.size));
    }
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail(FileFailure::Read, path);
        }
        if (n == 0) {
            return file;
        }
        // A file that grows while it is read is held to the same limit.
        if (static_cast<std::uint64_t>(n) > limit - file.bytes.size()) {
            Fail(FileFailure::TooLarge, path);
        }
        file.bytes.append(chunk, static_cast<std::size_t>(n));
    }
}

std::optional<FileStamp> StampOf(const fs::path& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return StampFromStat(info);
}

void WriteFileAtomically(const fs::path& path, std::string_view bytes)
{
    const std::string target = files_detail::LinkTarget(path).native();
    const std::string temporary = TemporaryNameFor(target);
    Descriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.get() < 0) {
        Fail(FileFailure::Create, path);
    }
    // The file keeps the permissions it had.
    if (struct stat info{}; ::stat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        ::fchmod(fd.get(), info.st_mode & 07777);
    }
    // The new content must be on the disk before the rename makes it the
    // file; otherwise a power cut could leave an empty file in its place.
    const bool written = WriteAll(fd.get(), bytes) && ::fsync(fd.get()) == 0 && fd.Close();
    if (!written) {
        ::unlink(temporary.c_str());
        Fail(FileFailure::Write, path);
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        Fail(FileFailure::Replace, path);
    }
}

// POSIX systems ask nobody about a drive that is not ready.
CriticalErrorPromptsOff::CriticalErrorPromptsOff() = default;
CriticalErrorPromptsOff::~CriticalErrorPromptsOff() = default;

}  // namespace cardpush::platform
