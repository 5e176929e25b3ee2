#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/cp1251.h"

namespace cardpush::platform {
namespace {

namespace fs = std::filesystem;

// A fresh folder per test, removed afterwards. Names on disk are UTF-8; the
// layer under test speaks Windows-1251.
class FilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/cardpush-files-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    // A file with the given UTF-8 name and content, created behind the layer.
    void Create(const std::string& utf8Name, const std::string& content = "x")
    {
        std::ofstream(dir_ / utf8Name, std::ios::binary) << content;
    }
    std::string Content(const std::string& utf8Name)
    {
        std::ifstream in(dir_ / utf8Name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    // The folder as the core holds it.
    std::string Folder() const { return Utf8ToCp1251(dir_.string()); }
    std::string PathOf(const std::string& utf8Name) const
    {
        return JoinPath(Folder(), Utf8ToCp1251(utf8Name));
    }
    std::vector<std::string> EntriesOnDisk() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
};

std::vector<std::string> Sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(FilesTest, ListFolderMatchesTheExtensionInAnyCaseAndNothingElse)
{
    for (const char* name :
         {"a.txt", "B.TXT", "c.Txt", ".txt", "d.txt.bak", "e.text", "ftxt", "g.tx", "h.txt~"}) {
        Create(name);
    }
    EXPECT_EQ(Sorted(ListFolder(Folder(), "txt")),
              (std::vector<std::string>{".txt", "B.TXT", "a.txt", "c.Txt"}));
}

TEST_F(FilesTest, ListFolderTakesHiddenReadOnlyAndFolderEntries)
{
    Create(".hidden.txt");
    Create("locked.txt");
    ::chmod((dir_ / "locked.txt").c_str(), 0444);
    fs::create_directory(dir_ / "folder.txt");
    fs::create_directory(dir_ / "plain");
    EXPECT_EQ(Sorted(ListFolder(Folder(), "txt")),
              (std::vector<std::string>{".hidden.txt", "folder.txt", "locked.txt"}));
}

TEST_F(FilesTest, ListFolderGivesCyrillicNamesInWindows1251)
{
    Create("Задание №1.txt");
    Create("日本.txt");  // no Windows-1251 code: '?' as Windows gives it
    EXPECT_EQ(Sorted(ListFolder(Folder(), "txt")),
              Sorted({Utf8ToCp1251("Задание №1.txt"), "??.txt"}));
}

TEST_F(FilesTest, ListFolderOfAMissingOrUnnamedFolderIsEmpty)
{
    EXPECT_TRUE(ListFolder(JoinPath(Folder(), "missing"), "txt").empty());
    EXPECT_TRUE(ListFolder(JoinPath(PathOf("file.txt"), "x"), "txt").empty());
    // An empty folder names no folder: neither the root nor the current
    // folder, though it holds a match.
    Create("a.txt");
    const fs::path previous = fs::current_path();
    fs::current_path(dir_);
    const std::vector<std::string> unnamed = ListFolder("", "txt");
    fs::current_path(previous);
    EXPECT_TRUE(unnamed.empty());
}

TEST_F(FilesTest, ListFolderAcceptsAFolderThatEndsWithASeparator)
{
    Create("a.txt");
    EXPECT_EQ(ListFolder(Folder() + "/", "txt"), std::vector<std::string>{"a.txt"});
}

TEST_F(FilesTest, FileExistsOnlyForFiles)
{
    Create("Файл.dat");
    fs::create_directory(dir_ / "Папка");
    EXPECT_TRUE(FileExists(PathOf("Файл.dat")));
    EXPECT_FALSE(FileExists(PathOf("Папка")));
    EXPECT_FALSE(FileExists(PathOf("missing.dat")));
}

TEST_F(FilesTest, RemoveFileDeletesFilesAndLeavesFoldersAndReadOnlyFiles)
{
    Create("Задание.txt");
    Create("locked.txt");
    ::chmod((dir_ / "locked.txt").c_str(), 0444);
    fs::create_directory(dir_ / "folder.txt");
    EXPECT_TRUE(RemoveFile(PathOf("Задание.txt")));
    EXPECT_FALSE(RemoveFile(PathOf("locked.txt")));
    EXPECT_FALSE(RemoveFile(PathOf("folder.txt")));
    EXPECT_FALSE(RemoveFile(PathOf("missing.txt")));
    EXPECT_EQ(EntriesOnDisk(), (std::vector<std::string>{"folder.txt", "locked.txt"}));
}

TEST_F(FilesTest, ReadWholeFileKeepsEveryByte)
{
    std::string bytes;
    for (int i = 0; i < 256; ++i) {
        bytes += static_cast<char>(i);
    }
    bytes += "\r\n\n\r";
    bytes += std::string(20000, 'z');  // more than one read
    Create("Данные.bin", bytes);
    EXPECT_EQ(ReadWholeFile(PathOf("Данные.bin")), bytes);
    Create("empty.bin", "");
    EXPECT_EQ(ReadWholeFile(PathOf("empty.bin")), "");
}

TEST_F(FilesTest, ReadWholeFileOfAMissingFileNamesItInTheError)
{
    const std::string path = PathOf("Нет такого.dat");
    try {
        ReadWholeFile(path);
        FAIL() << "no error";
    } catch (const EFileError& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find(path), std::string::npos) << Cp1251ToUtf8(message);
    }
}

TEST_F(FilesTest, WriteFileAtomicallyCreatesAndReplacesLeavingNoTemporaryFile)
{
    WriteFileAtomically(PathOf("Настройки.dat"), "first");
    EXPECT_EQ(Content("Настройки.dat"), "first");
    WriteFileAtomically(PathOf("Настройки.dat"), std::string("se\0cond", 7));
    EXPECT_EQ(Content("Настройки.dat"), std::string("se\0cond", 7));
    EXPECT_EQ(EntriesOnDisk(), std::vector<std::string>{"Настройки.dat"});
}

TEST_F(FilesTest, WriteFileAtomicallyIntoAMissingFolderThrowsAndCreatesNothing)
{
    EXPECT_THROW(WriteFileAtomically(JoinPath(PathOf("missing"), "a.dat"), "x"), EFileError);
    EXPECT_TRUE(EntriesOnDisk().empty());
}

TEST_F(FilesTest, WriteFileAtomicallyOverAFolderThrowsAndLeavesIt)
{
    fs::create_directory(dir_ / "nastr.dat");
    EXPECT_THROW(WriteFileAtomically(PathOf("nastr.dat"), "x"), EFileError);
    EXPECT_TRUE(fs::is_directory(dir_ / "nastr.dat"));
    EXPECT_EQ(EntriesOnDisk(), std::vector<std::string>{"nastr.dat"});
}

// A disk that fills up in the middle of the write: the file size limit makes
// the write fail after the temporary file exists (for root too).
TEST_F(FilesTest, WriteFileAtomicallyThatFailsMidwayKeepsTheOldFile)
{
    Create("nastr.dat", "old content");
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit saved = limit;
    limit.rlim_cur = 4;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    EXPECT_THROW(WriteFileAtomically(PathOf("nastr.dat"), "new content, longer"), EFileError);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(Content("nastr.dat"), "old content");
    EXPECT_EQ(EntriesOnDisk(), std::vector<std::string>{"nastr.dat"});
}

TEST(ExecutableFolderTest, IsTheTestBinarysFolderWhateverTheWorkingFolder)
{
    const fs::path previous = fs::current_path();
    fs::current_path("/");
    const std::string folder = ExecutableFolder();
    fs::current_path(previous);
    EXPECT_TRUE(FileExists(JoinPath(folder, "platform_files_test"))) << folder;
}

}  // namespace
}  // namespace cardpush::platform
