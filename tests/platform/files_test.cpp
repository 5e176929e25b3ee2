// The files layer on POSIX: the contract every backend keeps, and what only
// POSIX shows (names on disk in UTF-8, dot files, file size limits).
#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/cp1251.h"
#include "platform/files_contract.h"
#include "support/temp_folder.h"

namespace cardpush::platform {

namespace fs = std::filesystem;

// A fresh folder, removed afterwards. Names on disk are UTF-8; the layer
// speaks Windows-1251, and so does the Disk.
class PosixDisk {
public:
    static constexpr const char* kExecutable = "platform_files_test";
    static bool CyrillicNames() { return true; }

    std::string Folder() const { return Utf8ToCp1251(dir_.path().string()); }
    fs::path OnDisk(const std::string& name) const { return dir_ / Cp1251ToUtf8(name); }
    void Create(const std::string& name, const std::string& content) const
    {
        std::ofstream(OnDisk(name), std::ios::binary) << content;
    }
    void CreateFolder(const std::string& name) const { fs::create_directory(OnDisk(name)); }
    void MakeReadOnly(const std::string& name) const { ::chmod(OnDisk(name).c_str(), 0444); }
    std::string Content(const std::string& name) const
    {
        return cardpush::testing::ReadBytes(OnDisk(name));
    }
    std::vector<std::string> Entries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_.path())) {
            names.push_back(Utf8ToCp1251(entry.path().filename().string()));
        }
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    cardpush::testing::TempFolder dir_{"cardpush-files"};
};

INSTANTIATE_TYPED_TEST_SUITE_P(PosixFiles, FilesContract, PosixDisk);

namespace {

using FilesTest = FilesContract<PosixDisk>;

TEST_F(FilesTest, ListFolderTakesDotNamesButNothingAfterTheExtension)
{
    for (const char* name : {".txt", ".hidden.txt", "h.txt~"}) {
        Create(name);
    }
    EXPECT_EQ(Sorted(ListFolder(disk_.Folder(), "txt")),
              (std::vector<std::string>{".hidden.txt", ".txt"}));
}

TEST_F(FilesTest, ListFolderGivesANameWithoutAWindows1251CodeWithQuestionMarks)
{
    Create(Utf8ToCp1251("Задание №1.txt"));
    std::ofstream(fs::path(Cp1251ToUtf8(disk_.Folder())) / "日本.txt") << "x";
    EXPECT_EQ(Sorted(ListFolder(disk_.Folder(), "txt")),
              Sorted({Utf8ToCp1251("Задание №1.txt"), "??.txt"}));
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
    EXPECT_EQ(disk_.Content("nastr.dat"), "old content");
    EXPECT_EQ(disk_.Entries(), std::vector<std::string>{"nastr.dat"});
}

}  // namespace
}  // namespace cardpush::platform
