// The files layer's contract, written once and run on every backend: the
// POSIX layer natively (files_test.cpp), the Windows layer under Wine
// (win32/files_win32_test.cpp). Each instantiates it with a Disk of its own,
// which makes a fresh folder per test, removes it afterwards, and makes and
// reads files behind the layer's back:
//
//   struct Disk {
//       static constexpr const char* kExecutable;  // the test program's file name
//       static bool CyrillicNames();               // whether the system can name them
//       std::string Folder() const;                // as the layer names it (Windows-1251)
//       void Create(const std::string& name, const std::string& content);
//       void CreateFolder(const std::string& name);
//       void MakeReadOnly(const std::string& name);
//       std::vector<std::string> Entries() const;  // sorted
//   };
//
// Every name that crosses the Disk is Windows-1251, as the layer speaks.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/cp1251.h"
#include "platform/files.h"

namespace cardpush::platform {

template <class Disk>
class FilesContract : public ::testing::Test {
protected:
    std::string PathOf(const std::string& name) const { return JoinPath(disk_.Folder(), name); }
    void Create(const std::string& name, const std::string& content = "x")
    {
        disk_.Create(name, content);
    }
    static std::vector<std::string> Sorted(std::vector<std::string> names)
    {
        std::sort(names.begin(), names.end());
        return names;
    }

    Disk disk_;
};

inline void ExpectReadOfAMissingFileNamesIt(const std::string& path)
{
    try {
        ReadWholeFile(path);
        ADD_FAILURE() << "no error";
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << Cp1251ToUtf8(e.what());
    }
}

TYPED_TEST_SUITE_P(FilesContract);

TYPED_TEST_P(FilesContract, ListFolderMatchesTheExtensionInAnyCaseWithFoldersAndReadOnlyFiles)
{
    for (const char* name : {"a.txt", "B.TXT", "c.Txt", "d.txt.bak", "e.text", "ftxt", "g.tx"}) {
        this->Create(name);
    }
    this->Create("locked.txt");
    this->disk_.MakeReadOnly("locked.txt");
    this->disk_.CreateFolder("folder.txt");
    this->disk_.CreateFolder("plain");
    EXPECT_EQ(this->Sorted(ListFolder(this->disk_.Folder(), "txt")),
              (std::vector<std::string>{"B.TXT", "a.txt", "c.Txt", "folder.txt", "locked.txt"}));
}

TYPED_TEST_P(FilesContract, ListFolderOfAMissingOrUnnamedFolderIsEmpty)
{
    this->Create("a.txt");
    EXPECT_TRUE(ListFolder(this->PathOf("missing"), "txt").empty());
    EXPECT_TRUE(ListFolder(JoinPath(this->PathOf("a.txt"), "x"), "txt").empty());
    // An empty folder names no folder: neither the root nor the current
    // folder, though it holds a match.
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(this->disk_.Folder());
    const std::vector<std::string> unnamed = ListFolder("", "txt");
    std::filesystem::current_path(previous);
    EXPECT_TRUE(unnamed.empty());
}

TYPED_TEST_P(FilesContract, ListFolderAcceptsAFolderThatEndsWithASeparator)
{
    this->Create("a.txt");
    const std::string folder = JoinPath(this->disk_.Folder(), "");
    EXPECT_EQ(ListFolder(folder, "txt"), std::vector<std::string>{"a.txt"}) << folder;
}

TYPED_TEST_P(FilesContract, FileExistsOnlyForFiles)
{
    this->Create("nastr.dat");
    this->disk_.CreateFolder("folder");
    EXPECT_TRUE(FileExists(this->PathOf("nastr.dat")));
    EXPECT_FALSE(FileExists(this->PathOf("folder")));
    EXPECT_FALSE(FileExists(this->PathOf("missing.dat")));
}

TYPED_TEST_P(FilesContract, RemoveFileDeletesFilesAndLeavesFoldersAndReadOnlyFiles)
{
    this->Create("job.txt");
    this->Create("locked.txt");
    this->disk_.MakeReadOnly("locked.txt");
    this->disk_.CreateFolder("folder.txt");
    EXPECT_TRUE(RemoveFile(this->PathOf("job.txt")));
    EXPECT_FALSE(RemoveFile(this->PathOf("locked.txt")));
    EXPECT_FALSE(RemoveFile(this->PathOf("folder.txt")));
    EXPECT_FALSE(RemoveFile(this->PathOf("missing.txt")));
    EXPECT_EQ(this->disk_.Entries(), (std::vector<std::string>{"folder.txt", "locked.txt"}));
}

TYPED_TEST_P(FilesContract, ReadWholeFileKeepsEveryByteAndNamesAMissingFile)
{
    std::string bytes;
    for (int i = 0; i < 256; ++i) {
        bytes += static_cast<char>(i);
    }
    bytes += "\r\n\n\r\x1a";           // no text-mode translation, no end at ^Z
    bytes += std::string(20000, 'z');  // more than one read
    this->Create("data.bin", bytes);
    EXPECT_EQ(ReadWholeFile(this->PathOf("data.bin")), bytes);
    this->Create("empty.bin", "");
    EXPECT_EQ(ReadWholeFile(this->PathOf("empty.bin")), "");

    ExpectReadOfAMissingFileNamesIt(this->PathOf("missing.dat"));
}

TYPED_TEST_P(FilesContract, WriteFileAtomicallyCreatesAndReplacesLeavingNoTemporaryFile)
{
    WriteFileAtomically(this->PathOf("nastr.dat"), "first, and longer");
    EXPECT_EQ(ReadWholeFile(this->PathOf("nastr.dat")), "first, and longer");
    WriteFileAtomically(this->PathOf("nastr.dat"), std::string("se\0cond", 7));
    EXPECT_EQ(ReadWholeFile(this->PathOf("nastr.dat")), std::string("se\0cond", 7));
    EXPECT_EQ(this->disk_.Entries(), std::vector<std::string>{"nastr.dat"});
}

TYPED_TEST_P(FilesContract, WriteFileAtomicallyThatCannotReplaceKeepsWhatWasThere)
{
    EXPECT_THROW(WriteFileAtomically(JoinPath(this->PathOf("missing"), "a.dat"), "x"), EFileError);
    EXPECT_TRUE(this->disk_.Entries().empty());

    this->disk_.CreateFolder("nastr.dat");
    EXPECT_THROW(WriteFileAtomically(this->PathOf("nastr.dat"), "x"), EFileError);
    EXPECT_EQ(this->disk_.Entries(), std::vector<std::string>{"nastr.dat"});
    EXPECT_FALSE(FileExists(this->PathOf("nastr.dat"))) << "still the folder";
}

TYPED_TEST_P(FilesContract, CyrillicNamesAreWindows1251InEveryCall)
{
    if (!TypeParam::CyrillicNames()) {
        GTEST_SKIP() << "the system cannot name Cyrillic files in Windows-1251";
    }
    const std::string job = Utf8ToCp1251("Задание №1.txt");
    this->Create(job, "1 x");
    EXPECT_EQ(ListFolder(this->disk_.Folder(), "txt"), std::vector<std::string>{job});
    EXPECT_TRUE(FileExists(this->PathOf(job)));
    EXPECT_EQ(ReadWholeFile(this->PathOf(job)), "1 x");

    const std::string settings = Utf8ToCp1251("Настройки.dat");
    WriteFileAtomically(this->PathOf(settings), "first");
    WriteFileAtomically(this->PathOf(settings), "second");
    EXPECT_EQ(ReadWholeFile(this->PathOf(settings)), "second");
    EXPECT_TRUE(RemoveFile(this->PathOf(job)));
    EXPECT_EQ(this->disk_.Entries(), std::vector<std::string>{settings});

    ExpectReadOfAMissingFileNamesIt(this->PathOf(Utf8ToCp1251("Нет такого.dat")));
}

TYPED_TEST_P(FilesContract, ExecutableFolderIsTheTestProgramsFolderWhateverTheWorkingFolder)
{
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(previous.root_path());
    const std::string folder = ExecutableFolder();
    std::filesystem::current_path(previous);
    EXPECT_TRUE(FileExists(JoinPath(folder, TypeParam::kExecutable))) << folder;
}

REGISTER_TYPED_TEST_SUITE_P(FilesContract,
                            ListFolderMatchesTheExtensionInAnyCaseWithFoldersAndReadOnlyFiles,
                            ListFolderOfAMissingOrUnnamedFolderIsEmpty,
                            ListFolderAcceptsAFolderThatEndsWithASeparator, FileExistsOnlyForFiles,
                            RemoveFileDeletesFilesAndLeavesFoldersAndReadOnlyFiles,
                            ReadWholeFileKeepsEveryByteAndNamesAMissingFile,
                            WriteFileAtomicallyCreatesAndReplacesLeavingNoTemporaryFile,
                            WriteFileAtomicallyThatCannotReplaceKeepsWhatWasThere,
                            CyrillicNamesAreWindows1251InEveryCall,
                            ExecutableFolderIsTheTestProgramsFolderWhateverTheWorkingFolder);

}  // namespace cardpush::platform
