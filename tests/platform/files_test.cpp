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

// A fresh folder, removed afterwards.
class PosixDisk {
public:
    static constexpr const char* kExecutable = "platform_files_test";

    fs::path Folder() const { return dir_.path(); }
    void Create(const fs::path& name, const std::string& content) const
    {
        std::ofstream(dir_ / name, std::ios::binary) << content;
    }
    void CreateFolder(const fs::path& name) const { fs::create_directory(dir_ / name); }
    void MakeReadOnly(const fs::path& name) const { ::chmod((dir_ / name).c_str(), 0444); }
    std::string Content(const fs::path& name) const
    {
        return cardpush::testing::ReadBytes(dir_ / name);
    }
    Names Entries() const
    {
        Names names;
        for (const auto& entry : fs::directory_iterator(dir_.path())) {
            names.push_back(entry.path().filename());
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
    EXPECT_EQ(Sorted(ListFolder(disk_.Folder(), "txt")), (Names{".hidden.txt", ".txt"}));
}

// A name that is not UTF-8 reads as the name "?.txt" does, and is still
// itself to every call.
TEST_F(FilesTest, ANameThatIsNotUtf8IsTakenByItsBytes)
{
    Create("?.txt", "question mark");
    Create("\xFF.txt", "byte FF");
    EXPECT_EQ(PathText("\xFF.txt"), "?.txt");
    EXPECT_FALSE(TextHoldsPath("\xFF.txt"));
    EXPECT_EQ(Sorted(ListFolder(disk_.Folder(), "txt")), (Names{"?.txt", "\xFF.txt"}));
    EXPECT_EQ(ReadWholeFile(PathOf("\xFF.txt")), "byte FF");
    EXPECT_TRUE(RemoveFile(PathOf("\xFF.txt")));
    EXPECT_EQ(disk_.Entries(), Names{"?.txt"});
}

// The settings file may be a link to where it is really kept: the file
// there is replaced, with its permissions, and the link stays.
TEST_F(FilesTest, WriteFileAtomicallyThroughASymbolicLinkReplacesItsTarget)
{
    disk_.CreateFolder("real");
    Create("real/nastr.dat", "old");
    ::chmod(PathOf("real/nastr.dat").c_str(), 0640);
    fs::create_symlink("real/nastr.dat", PathOf("nastr.dat"));
    WriteFileAtomically(PathOf("nastr.dat"), "new");
    EXPECT_TRUE(fs::is_symlink(PathOf("nastr.dat")));
    EXPECT_EQ(disk_.Content("real/nastr.dat"), "new");
    EXPECT_EQ(fs::status(PathOf("real/nastr.dat")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(disk_.Entries(), (Names{"nastr.dat", "real"}));
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
    EXPECT_EQ(disk_.Entries(), Names{"nastr.dat"});
}

}  // namespace
}  // namespace cardpush::platform
