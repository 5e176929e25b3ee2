// The files layer's contract, written once and run on every backend: the
// POSIX layer natively (files_test.cpp), the Windows layer under Wine
// (win32/files_win32_test.cpp). Each instantiates it with a Disk of its own,
// which makes a fresh folder per test, removes it afterwards, and makes and
// reads files behind the layer's back:
//
//   struct Disk {
//       static constexpr const char* kExecutable;  // the test program's file name
//       std::filesystem::path Folder() const;
//       void Create(const std::filesystem::path& name, const std::string& content);
//       void CreateFolder(const std::filesystem::path& name);
//       void MakeReadOnly(const std::filesystem::path& name);
//       std::vector<std::filesystem::path> Entries() const;  // sorted
//   };
//
// Names are the system's own, as the layer takes them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/cp1251.h"
#include "platform/files.h"

namespace cardpush::platform {

using Names = std::vector<std::filesystem::path>;

// A name given in UTF-8, as the system holds it.
inline std::filesystem::path Utf8Name(std::string_view utf8)
{
    return std::u8string(utf8.begin(), utf8.end());
}

template <class Disk>
class FilesContract : public ::testing::Test {
protected:
    std::filesystem::path PathOf(const std::filesystem::path& name) const
    {
        return disk_.Folder() / name;
    }
    void Create(const std::filesystem::path& name, const std::string& content = "x")
    {
        disk_.Create(name, content);
    }
    static Names Sorted(Names names)
    {
        std::sort(names.begin(), names.end());
        return names;
    }

    Disk disk_;
};

inline void ExpectReadOfAMissingFileNamesIt(const std::filesystem::path& path)
{
    try {
        ReadWholeFile(path);
        ADD_FAILURE() << "no error";
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find(PathText(path)), std::string::npos)
            << Cp1251ToUtf8(e.what());
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
              (Names{"B.TXT", "a.txt", "c.Txt", "folder.txt", "locked.txt"}));
}

TYPED_TEST_P(FilesContract, ListFolderOfAMissingOrUnnamedFolderIsEmpty)
{
    this->Create("a.txt");
    EXPECT_TRUE(ListFolder(this->PathOf("missing"), "txt").empty());
    EXPECT_TRUE(ListFolder(this->PathOf("a.txt") / "x", "txt").empty());
    // An empty folder names no folder: neither the root nor the current
    // folder, though it holds a match.
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(this->disk_.Folder());
    const Names unnamed = ListFolder("", "txt");
    std::filesystem::current_path(previous);
    EXPECT_TRUE(unnamed.empty());
}

TYPED_TEST_P(FilesContract, ListFolderAcceptsAFolderThatEndsWithASeparator)
{
    this->Create("a.txt");
    const std::filesystem::path folder = this->disk_.Folder() / "";
    EXPECT_EQ(ListFolder(folder, "txt"), Names{"a.txt"}) << folder;
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
    EXPECT_EQ(this->disk_.Entries(), (Names{"folder.txt", "locked.txt"}));
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
    EXPECT_EQ(this->disk_.Entries(), Names{"nastr.dat"});
}

TYPED_TEST_P(FilesContract, WriteFileAtomicallyThatCannotReplaceKeepsWhatWasThere)
{
    EXPECT_THROW(WriteFileAtomically(this->PathOf("missing") / "a.dat", "x"), EFileError);
    EXPECT_TRUE(this->disk_.Entries().empty());

    this->disk_.CreateFolder("nastr.dat");
    EXPECT_THROW(WriteFileAtomically(this->PathOf("nastr.dat"), "x"), EFileError);
    EXPECT_EQ(this->disk_.Entries(), Names{"nastr.dat"});
    EXPECT_FALSE(FileExists(this->PathOf("nastr.dat"))) << "still the folder";
}

// Every call takes a file by its own name, also where Windows-1251 has no
// letter for it or reads it otherwise: a decomposed letter, as files copied
// from a Mac are named, and characters outside the code page. (Windows
// names hold no '?'; the POSIX tests show "?.txt" beside such a name.)
TYPED_TEST_P(FilesContract, NamesAreTheSystemsOwnInEveryCall)
{
    struct Row {
        const char* utf8;
        const char* text;  // PathText, in UTF-8
        bool held;         // TextHoldsPath
    };
    const Row rows[] = {
        {"Задание №1.txt", "Задание №1.txt", true},
        {"Реи\u0306ка.txt", "Рейка.txt", false},
        {"\U0001F600.txt", "?.txt", false},
        {"cafe\u0301.txt", "caf?.txt", false},  // é: a letter the code page lacks
    };
    Names created;
    for (const Row& row : rows) {
        this->Create(Utf8Name(row.utf8), row.utf8);
        created.push_back(Utf8Name(row.utf8));
        EXPECT_EQ(Cp1251ToUtf8(PathText(Utf8Name(row.utf8))), row.text);
        EXPECT_EQ(TextHoldsPath(Utf8Name(row.utf8)), row.held) << row.utf8;
    }
    const Names listed = ListFolder(this->disk_.Folder(), "txt");
    EXPECT_EQ(this->Sorted(listed), this->Sorted(created));
    for (const auto& name : listed) {
        EXPECT_TRUE(FileExists(this->PathOf(name)));
        EXPECT_EQ(Utf8Name(ReadWholeFile(this->PathOf(name))), name);
    }

    EXPECT_TRUE(RemoveFile(this->PathOf(Utf8Name("\U0001F600.txt"))));
    const Names settings{Utf8Name("\U0001F600.dat")};
    WriteFileAtomically(this->PathOf(settings[0]), "first");
    WriteFileAtomically(this->PathOf(settings[0]), "second");
    EXPECT_EQ(ReadWholeFile(this->PathOf(settings[0])), "second");
    EXPECT_EQ(this->disk_.Entries(), this->Sorted({Utf8Name(rows[0].utf8), Utf8Name(rows[1].utf8),
                                                   Utf8Name(rows[3].utf8), settings[0]}));

    ExpectReadOfAMissingFileNamesIt(this->PathOf(Utf8Name("Нет такого.dat")));
    EXPECT_EQ(PathFromText(Utf8ToCp1251("Задание №1.txt")), Utf8Name("Задание №1.txt"));
}

TYPED_TEST_P(FilesContract, ExecutableFolderIsTheTestProgramsFolderWhateverTheWorkingFolder)
{
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(previous.root_path());
    const std::filesystem::path folder = ExecutableFolder();
    std::filesystem::current_path(previous);
    EXPECT_TRUE(FileExists(folder / TypeParam::kExecutable)) << folder;
}

REGISTER_TYPED_TEST_SUITE_P(FilesContract,
                            ListFolderMatchesTheExtensionInAnyCaseWithFoldersAndReadOnlyFiles,
                            ListFolderOfAMissingOrUnnamedFolderIsEmpty,
                            ListFolderAcceptsAFolderThatEndsWithASeparator, FileExistsOnlyForFiles,
                            RemoveFileDeletesFilesAndLeavesFoldersAndReadOnlyFiles,
                            ReadWholeFileKeepsEveryByteAndNamesAMissingFile,
                            WriteFileAtomicallyCreatesAndReplacesLeavingNoTemporaryFile,
                            WriteFileAtomicallyThatCannotReplaceKeepsWhatWasThere,
                            NamesAreTheSystemsOwnInEveryCall,
                            ExecutableFolderIsTheTestProgramsFolderWhateverTheWorkingFolder);

}  // namespace cardpush::platform
