#include "platform/files.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>

#include "platform/cp1251.h"
#include "platform/files_errors.h"

namespace cardpush::platform {
namespace {

namespace fs = std::filesystem;
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

std::wstring TemporaryNameFor(const std::wstring& target)
{
    static std::atomic<unsigned> counter{0};
    return target + L"." + std::to_wstring(::GetCurrentProcessId()) + L"." +
           std::to_wstring(counter++) + L".tmp";
}

}  // namespace

// Names are UTF-16: a pair of surrogates is one character.
std::string PathText(const fs::path& path)
{
    const std::wstring& name = path.native();
    std::u32string text;
    text.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char32_t unit = name[i];
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < name.size() && name[i + 1] >= 0xDC00 &&
            name[i + 1] < 0xE000) {
            text += 0x10000 + ((unit - 0xD800) << 10) + (name[++i] - 0xDC00);
        } else {
            text += unit;
        }
    }
    return UnicodeToCp1251(text);
}

fs::path PathFromText(std::string_view cp1251)
{
    std::wstring name;
    name.reserve(cp1251.size());
    for (const char c : cp1251) {
        const auto byte = static_cast<unsigned char>(c);
        name += static_cast<wchar_t>(byte < 0x80 ? byte : cp1251_detail::kHighHalf[byte - 0x80]);
    }
    return name;
}

fs::path ExecutableFolder()
{
    std::wstring buffer(32768, L'\0');
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    buffer.resize(n);
    return fs::path(buffer).parent_path();
}

fs::path UserSettingsFolder()
{
    const wchar_t* appData = ::_wgetenv(L"APPDATA");
    if (appData == nullptr || appData[0] == L'\0') {
        return {};
    }
    return fs::path(appData) / L"CardPush";
}

bool CanWriteIn(const fs::path& folder)
{
    std::error_code error;
    fs::create_directories(folder, error);
    const std::wstring scratch = TemporaryNameFor((folder / L".cardpush-write-check").native());
    const HANDLE file =
        ::CreateFileW(scratch.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    ::CloseHandle(file);
    return true;
}

bool FileExists(const fs::path& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::vector<fs::path> ListFolder(const fs::path& folder, std::string_view extension)
{
    std::vector<fs::path> names;
    if (folder.empty()) {
        return names;
    }
    std::wstring pattern = (folder / L"*.").native();
    pattern.append(extension.begin(), extension.end());
    WIN32_FIND_DATAW entry{};
    const HANDLE search = ::FindFirstFileW(pattern.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        names.emplace_back(entry.cFileName);
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
    return names;
}

bool RemoveFile(const fs::path& path)
{
    return ::DeleteFileW(path.c_str()) != FALSE;
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

StampedFile ReadStampedFile(const fs::path& path, std::uint64_t limit)
{
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
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

std::optional<FileStamp> StampOf(const fs::path& path)
{
    // Opened for no access at all: only the file's information is read, and
    // whoever holds the file open for writing is not disturbed.
    FileHandle file(::CreateFileW(path.c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (file.get() == INVALID_HANDLE_VALUE || !::GetFileInformationByHandle(file.get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return std::nullopt;
    }
    return StampFromInformation(info);
}

void WriteFileAtomically(const fs::path& path, std::string_view bytes)
{
    const std::wstring target = files_detail::LinkTarget(path).native();
    const std::wstring temporary = TemporaryNameFor(target);
    FileHandle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
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
        ::DeleteFileW(temporary.c_str());
        Fail(FileFailure::Write, path);
    }
    if (!::MoveFileExW(temporary.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ::DeleteFileW(temporary.c_str());
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
