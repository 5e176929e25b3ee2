// Which job files of a watched folder are due: new or changed, then
// unchanged for the settle time; not again once handled until they change;
// again after the retry time once failed. The clock is the test's; the
// folder is real.

#include "session/folder_watch.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/temp_folder.h"

namespace cardpush {
namespace {

using namespace std::chrono_literals;
using Clock = FolderWatch::Clock;

class FolderWatchTest : public ::testing::Test {
protected:
    void Write(const char* name, const char* content, std::ios::openmode mode = std::ios::trunc)
    {
        std::ofstream(folder_.path() / name, std::ios::binary | std::ios::out | mode) << content;
    }
    std::vector<std::string> Due(std::chrono::milliseconds at)
    {
        std::vector<std::string> names;
        due_ = watch_.Look(start_ + at);
        for (const auto& file : due_) {
            names.push_back(file.path.filename().string());
        }
        return names;
    }

    testing::TempFolder folder_;
    FolderWatch watch_{folder_.path(), 1000ms, 5000ms};
    Clock::time_point start_ = Clock::now();
    std::vector<FolderWatch::DueFile> due_;
};

TEST_F(FolderWatchTest, JobFilesAreDueOnceSettledAndAgainOnlyWhenChangedOrFailed)
{
    using Names = std::vector<std::string>;
    Write("a.txt", "1 A\r\n");
    Write("notes.doc", "not a job file");
    EXPECT_EQ(Names{}, Due(0ms));
    EXPECT_EQ(Names{}, Due(900ms));
    // A file still growing is not due until it has kept still.
    Write("a.txt", "2 A\r\n", std::ios::app);
    EXPECT_EQ(Names{}, Due(1200ms));
    EXPECT_EQ(Names{}, Due(2100ms));
    EXPECT_EQ(Names{"a.txt"}, Due(2200ms));

    // Handled: not due again while it stays as it was.
    watch_.Handled(due_.front());
    EXPECT_EQ(Names{}, Due(10000ms));
    // Changed: due again once settled.
    Write("a.txt", "3 A\r\n", std::ios::app);
    EXPECT_EQ(Names{}, Due(10100ms));
    EXPECT_EQ(Names{"a.txt"}, Due(11200ms));

    // Failed: due again after the retry time, unchanged.
    watch_.Failed(due_.front(), start_ + 11200ms);
    EXPECT_EQ(Names{}, Due(16000ms));
    EXPECT_EQ(Names{"a.txt"}, Due(16300ms));
    watch_.Handled(due_.front());

    // Gone and back with the same content: a new file.
    std::filesystem::remove(folder_.path() / "a.txt");
    EXPECT_EQ(Names{}, Due(17000ms));
    Write("a.txt", "1 A\r\n2 A\r\n3 A\r\n");
    EXPECT_EQ(Names{}, Due(17100ms));
    EXPECT_EQ(Names{"a.txt"}, Due(18200ms));
}

}  // namespace
}  // namespace cardpush
