// The file layer on the system's own calls (the single-byte "A" functions):
// folder listing, file checks, deletion, whole-file reads and the atomic
// replacement of the settings file, in a fresh folder per test.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/cp1251.h"
#include "platform/files.h"

namespace cardpush::platform {
namespace {

class Win32FilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char temp[MAX_PATH + 1] = {};
        ASSERT_NE(::GetTempPathA(MAX_PATH, temp), 0u);
        char name[MAX_PATH + 1] = {};
        ASSERT_NE(::GetTempFileNameA(temp, "cpf", 0, name), 0u);
        // The unique name is taken by an empty file: a folder goes in its place.
        ASSERT_TRUE(::DeleteFileA(name));
        ASSERT_TRUE(::CreateDirectoryA(name, nullptr));
        dir_ = name;
    }
    void TearDown() override
    {
        for (const std::string& entry : EntriesOnDisk()) {
            const std::string path = dir_ + "\\" + entry;
            ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!::DeleteFileA(path.c_str())) {
                ::RemoveDirectoryA(path.c_str());
            }
        }
        ::RemoveDirectoryA(dir_.c_str());
    }

    // A file made behind the layer's back.
    void Create(const std::string& name, const std::string& content = "x")
    {
        const HANDLE file = ::CreateFileA(PathOf(name).c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << name;
        DWORD written = 0;
        ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        ::CloseHandle(file);
        ASSERT_EQ(written, content.size());
    }
    void CreateFolder(const std::string& name)
    {
        ASSERT_TRUE(::CreateDirectoryA(PathOf(name).c_str(), nullptr)) << name;
    }
    void MakeReadOnly(const std::string& name)
    {
        ASSERT_TRUE(::SetFileAttributesA(PathOf(name).c_str(), FILE_ATTRIBUTE_READONLY));
    }
    std::string PathOf(const std::string& name) const { return JoinPath(dir_, name); }
    std::vector<std::string> EntriesOnDisk() const
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

    std::string dir_;
};

std::vector<std::string> Sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(Win32FilesTest, ListFolderMatchesTheExtensionInAnyCaseWithFoldersAndReadOnlyFiles)
{
    for (const char* name : {"a.txt", "B.TXT", "c.Txt", "d.txt.bak", "e.text", "ftxt", "g.tx"}) {
        Create(name);
    }
    Create("locked.txt");
    MakeReadOnly("locked.txt");
    CreateFolder("folder.txt");
    EXPECT_EQ(Sorted(ListFolder(dir_, "txt")),
              (std::vector<std::string>{"B.TXT", "a.txt", "c.Txt", "folder.txt", "locked.txt"}));
}

TEST_F(Win32FilesTest, ListFolderOfAMissingOrUnnamedFolderIsEmpty)
{
    Create("a.txt");
    EXPECT_TRUE(ListFolder(PathOf("missing"), "txt").empty());
    EXPECT_TRUE(ListFolder("", "txt").empty());
    EXPECT_EQ(ListFolder(dir_ + "\\", "txt"), std::vector<std::string>{"a.txt"});
}

TEST_F(Win32FilesTest, CyrillicNamesAreWindows1251)
{
    if (::GetACP() != 1251) {
        GTEST_SKIP() << "the system's ANSI code page is " << ::GetACP()
                     << ", not 1251: the \"A\" functions cannot name Cyrillic files";
    }
    const std::string name = Utf8ToCp1251("Задание №1.txt");
    WriteFileAtomically(PathOf(name), "x");
    EXPECT_EQ(ListFolder(dir_, "txt"), std::vector<std::string>{name});
    EXPECT_TRUE(FileExists(PathOf(name)));
}

TEST_F(Win32FilesTest, FileExistsOnlyForFiles)
{
    Create("nastr.dat");
    CreateFolder("folder");
    EXPECT_TRUE(FileExists(PathOf("nastr.dat")));
    EXPECT_TRUE(FileExists(PathOf("NASTR.DAT"))) << "names ignore case on Windows";
    EXPECT_FALSE(FileExists(PathOf("folder")));
    EXPECT_FALSE(FileExists(PathOf("missing.dat")));
}

TEST_F(Win32FilesTest, RemoveFileDeletesFilesAndLeavesFoldersAndReadOnlyFiles)
{
    Create("job.txt");
    Create("locked.txt");
    MakeReadOnly("locked.txt");
    CreateFolder("folder.txt");
    EXPECT_TRUE(RemoveFile(PathOf("job.txt")));
    EXPECT_FALSE(RemoveFile(PathOf("locked.txt")));
    EXPECT_FALSE(RemoveFile(PathOf("folder.txt")));
    EXPECT_FALSE(RemoveFile(PathOf("missing.txt")));
    EXPECT_EQ(EntriesOnDisk(), (std::vector<std::string>{"folder.txt", "locked.txt"}));
}

TEST_F(Win32FilesTest, ReadWholeFileKeepsEveryByteAndNamesAMissingFile)
{
    std::string bytes;
    for (int i = 0; i < 256; ++i) {
        bytes += static_cast<char>(i);
    }
    bytes += "\r\n\n\r\x1a";           // no text-mode translation, no end at ^Z
    bytes += std::string(20000, 'z');  // more than one read
    Create("data.bin", bytes);
    EXPECT_EQ(ReadWholeFile(PathOf("data.bin")), bytes);
    Create("empty.bin", "");
    EXPECT_EQ(ReadWholeFile(PathOf("empty.bin")), "");

    try {
        ReadWholeFile(PathOf("missing.dat"));
        FAIL() << "no error";
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find(PathOf("missing.dat")), std::string::npos)
            << Cp1251ToUtf8(e.what());
    }
}

TEST_F(Win32FilesTest, WriteFileAtomicallyCreatesAndReplacesLeavingNoTemporaryFile)
{
    WriteFileAtomically(PathOf("nastr.dat"), "first, and longer");
    EXPECT_EQ(ReadWholeFile(PathOf("nastr.dat")), "first, and longer");
    WriteFileAtomically(PathOf("nastr.dat"), std::string("se\0cond", 7));
    EXPECT_EQ(ReadWholeFile(PathOf("nastr.dat")), std::string("se\0cond", 7));
    EXPECT_EQ(EntriesOnDisk(), std::vector<std::string>{"nastr.dat"});
}

TEST_F(Win32FilesTest, WriteFileAtomicallyThatCannotReplaceKeepsWhatWasThere)
{
    EXPECT_THROW(WriteFileAtomically(JoinPath(PathOf("missing"), "a.dat"), "x"), EFileError);
    EXPECT_TRUE(EntriesOnDisk().empty());

    CreateFolder("nastr.dat");
    EXPECT_THROW(WriteFileAtomically(PathOf("nastr.dat"), "x"), EFileError);
    EXPECT_EQ(EntriesOnDisk(), std::vector<std::string>{"nastr.dat"});
    EXPECT_FALSE(FileExists(PathOf("nastr.dat")));
}

TEST(Win32ExecutableFolderTest, IsTheTestProgramsFolderWhateverTheWorkingFolder)
{
    char previous[MAX_PATH + 1] = {};
    ASSERT_NE(::GetCurrentDirectoryA(MAX_PATH, previous), 0u);
    ASSERT_TRUE(::SetCurrentDirectoryA("C:\\"));
    const std::string folder = ExecutableFolder();
    ::SetCurrentDirectoryA(previous);
    EXPECT_TRUE(FileExists(JoinPath(folder, "win32_files_test.exe"))) << folder;
}

}  // namespace
}  // namespace cardpush::platform
