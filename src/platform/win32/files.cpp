#include "platform/files.h"

#include <windows.h>

#include <atomic>

#include "platform/files_errors.h"

namespace cardpush::platform {
namespace {

using files_detail::Fail;
using files_detail::FileFailure;

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle()
    {
        if (handle_ != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle_);
        }
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    HANDLE get() const { return handle_; }
    // Closes now, so that a failing close is seen; a second call does nothing.
    bool Close()
    {
        if (handle_ == INVALID_HANDLE_VALUE) {
            return true;
        }
        const HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return ::CloseHandle(handle) != FALSE;
    }

private:
    HANDLE handle_;
};

std::string TemporaryNameFor(const std::string& target)
{
    static std::atomic<unsigned> counter{0};
    return target + "." + std::to_string(::GetCurrentProcessId()) + "." +
           std::to_string(counter++) + ".tmp";
}

}  // namespace

std::string ExecutableFolder()
{
    char buffer[MAX_PATH + 1] = {};
    const DWORD n = ::GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    std::string path(buffer, n);
    const auto separator = path.find_last_of("\\/");
    path.resize(separator == std::string::npos ? 0 : separator);
    return path;
}

std::string JoinPath(std::string_view folder, std::string_view name)
{
    std::string path(folder);
    path += '\\';
    path += name;
    return path;
}

bool FileExists(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::vector<std::string> ListFolder(const std::string& folder, std::string_view extension)
{
    std::vector<std::string> names;
    if (folder.empty()) {
        return names;
    }
    std::string pattern = JoinPath(folder, "*.");
    pattern += extension;
    WIN32_FIND_DATAA entry{};
    const HANDLE search = ::FindFirstFileA(pattern.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        names.emplace_back(entry.cFileName);
    } while (::FindNextFileA(search, &entry));
    ::FindClose(search);
    return names;
}

bool RemoveFile(const std::string& path)
{
    return ::DeleteFileA(path.c_str()) != FALSE;
}

namespace {

FileStamp StampFromInformation(const BY_HANDLE_FILE_INFORMATION& info)
{
    FileStamp stamp;
    stamp.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    stamp.modified =
        static_cast<std::int64_t>((std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                                  info.ftLastWriteTime.dwLowDateTime);
    stamp.volume = info.dwVolumeSerialNumber;
    stamp.id = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    return stamp;
}

}  // namespace

StampedFile ReadStampedFile(const std::string& path, std::uint64_t limit)
{
    FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (file.get() == INVALID_HANDLE_VALUE || !::GetFileInformationByHandle(file.get(), &info)) {
        Fail(FileFailure::Open, path);
    }
    StampedFile content;
    content.stamp = StampFromInformation(info);
    if (content.stamp.size > limit) {
        Fail(FileFailure::TooLarge, path);
    }
    content.bytes.reserve(static_cast<std::size_t>(content.stamp.size));
    char chunk[65536];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(file.get(), chunk, sizeof chunk, &n, nullptr)) {
            Fail(FileFailure::Read, path);
        }
        if (n == 0) {
            return content;
        }
        // A file that grows while it is read is held to the same limit.
        if (n > limit - content.bytes.size()) {
            Fail(FileFailure::TooLarge, path);
        }
        content.bytes.append(chunk, n);
    }
}

std::optional<FileStamp> StampOf(const std::string& path)
{
    // Opened for no access at all: only the file's information is read, and
    // whoever holds the file open for writing is not disturbed.
    FileHandle file(::CreateFileA(path.c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (file.get() == INVALID_HANDLE_VALUE || !::GetFileInformationByHandle(file.get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return std::nullopt;
    }
    return StampFromInformation(info);
}

void WriteFileAtomically(const std::string& path, std::string_view bytes)
{
    const std::string temporary = TemporaryNameFor(path);
    FileHandle file(::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        Fail(FileFailure::Create, path);
    }
    bool written = true;
    while (written && !bytes.empty()) {
        DWORD n = 0;
        written = ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &n,
                              nullptr) != FALSE;
        bytes.remove_prefix(n);
    }
    written = written && ::FlushFileBuffers(file.get()) && file.Close();
    if (!written) {
        file.Close();
        ::DeleteFileA(temporary.c_str());
        Fail(FileFailure::Write, path);
    }
    if (!::MoveFileExA(temporary.c_str(), path.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ::DeleteFileA(temporary.c_str());
        Fail(FileFailure::Replace, path);
    }
}

CriticalErrorPromptsOff::CriticalErrorPromptsOff() : previous_(SetErrorMode(SEM_FAILCRITICALERRORS))
{
}

CriticalErrorPromptsOff::~CriticalErrorPromptsOff()
{
    SetErrorMode(previous_);
}

}  // namespace cardpush::platform
