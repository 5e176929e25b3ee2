// The file layer on the system's own wide-character calls: the contract
// every backend keeps, and what only Windows shows.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/files_contract.h"

namespace cardpush::platform {

// A fresh folder under the system's temporary folder, emptied and removed
// afterwards; files made and read with the system's own calls.
class Win32Disk {
public:
    static constexpr const char* kExecutable = "win32_files_test.exe";

    Win32Disk()
    {
        wchar_t temp[MAX_PATH + 1] = {};
        wchar_t name[MAX_PATH + 1] = {};
        // The unique name is taken by an empty file: a folder goes in its place.
        if (::GetTempPathW(MAX_PATH, temp) == 0 || ::GetTempFileNameW(temp, L"cpf", 0, name) == 0 ||
            !::DeleteFileW(name) || !::CreateDirectoryW(name, nullptr)) {
            throw std::runtime_error("no temporary folder");
        }
        dir_ = name;
    }
    ~Win32Disk()
    {
        for (const auto& entry : Entries()) {
            const std::wstring path = (dir_ / entry).native();
            ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!::DeleteFileW(path.c_str())) {
                ::RemoveDirectoryW(path.c_str());
            }
        }
        ::RemoveDirectoryW(dir_.c_str());
    }
    Win32Disk(const Win32Disk&) = delete;
    Win32Disk& operator=(const Win32Disk&) = delete;

    std::filesystem::path Folder() const { return dir_; }
    void Create(const std::filesystem::path& name, const std::string& content) const
    {
        const HANDLE file = ::CreateFileW((dir_ / name).c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << name;
        DWORD written = 0;
        ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        ::CloseHandle(file);
        ASSERT_EQ(written, content.size());
    }
    void CreateFolder(const std::filesystem::path& name) const
    {
        ASSERT_TRUE(::CreateDirectoryW((dir_ / name).c_str(), nullptr)) << name;
    }
    void MakeReadOnly(const std::filesystem::path& name) const
    {
        ASSERT_TRUE(::SetFileAttributesW((dir_ / name).c_str(), FILE_ATTRIBUTE_READONLY));
    }
    Names Entries() const
    {
        Names names;
        WIN32_FIND_DATAW entry{};
        const HANDLE search = ::FindFirstFileW((dir_ / L"*").c_str(), &entry);
        if (search == INVALID_HANDLE_VALUE) {
            return names;
        }
        do {
            const std::wstring name = entry.cFileName;
            if (name != L"." && name != L"..") {
                names.emplace_back(name);
            }
        } while (::FindNextFileW(search, &entry));
        ::FindClose(search);
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::filesystem::path dir_;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Win32Files, FilesContract, Win32Disk);

namespace {

using Win32FilesTest = FilesContract<Win32Disk>;

TEST_F(Win32FilesTest, FileNamesIgnoreCase)
{
    Create("nastr.dat");
    EXPECT_TRUE(FileExists(PathOf("NASTR.DAT")));
}

}  // namespace
}  // namespace cardpush::platform
