// The file layer on the system's own calls (the single-byte "A" functions):
// the contract every backend keeps, and what only Windows shows.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
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
    // The "A" functions name Cyrillic files only in a system whose ANSI code
    // page is Windows-1251.
    static bool CyrillicNames() { return ::GetACP() == 1251; }

    Win32Disk()
    {
        char temp[MAX_PATH + 1] = {};
        char name[MAX_PATH + 1] = {};
        // The unique name is taken by an empty file: a folder goes in its place.
        if (::GetTempPathA(MAX_PATH, temp) == 0 || ::GetTempFileNameA(temp, "cpf", 0, name) == 0 ||
            !::DeleteFileA(name) || !::CreateDirectoryA(name, nullptr)) {
            throw std::runtime_error("no temporary folder");
        }
        dir_ = name;
    }
    ~Win32Disk()
    {
        for (const std::string& entry : Entries()) {
            const std::string path = PathOf(entry);
            ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!::DeleteFileA(path.c_str())) {
                ::RemoveDirectoryA(path.c_str());
            }
        }
        ::RemoveDirectoryA(dir_.c_str());
    }
    Win32Disk(const Win32Disk&) = delete;
    Win32Disk& operator=(const Win32Disk&) = delete;

    std::string Folder() const { return dir_; }
    void Create(const std::string& name, const std::string& content) const
    {
        const HANDLE file = ::CreateFileA(PathOf(name).c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << name;
        DWORD written = 0;
        ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        ::CloseHandle(file);
        ASSERT_EQ(written, content.size());
    }
    void CreateFolder(const std::string& name) const
    {
        ASSERT_TRUE(::CreateDirectoryA(PathOf(name).c_str(), nullptr)) << name;
    }
    void MakeReadOnly(const std::string& name) const
    {
        ASSERT_TRUE(::SetFileAttributesA(PathOf(name).c_str(), FILE_ATTRIBUTE_READONLY));
    }
    std::vector<std::string> Entries() const
    {
        std::vector<std::string> names;
        WIN32_FIND_DATAA entry{};
        const HANDLE search = ::FindFirstFileA((dir_ + "\\*").c_str(), &entry);
        if (search == INVALID_HANDLE_VALUE) {
            return names;
        }
        do {
            const std::string name = entry.cFileName;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        } while (::FindNextFileA(search, &entry));
        ::FindClose(search);
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::string PathOf(const std::string& name) const { return JoinPath(dir_, name); }

    std::string dir_;
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
