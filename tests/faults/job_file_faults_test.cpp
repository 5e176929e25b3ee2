// Job files that are large, odd or unreadable, and a source folder that goes
// away, uploaded through the main window to the controller simulator. What
// reaches the line is checked byte for byte, and what stays on disk.
#include <sys/stat.h>

#include <QListWidget>
#include <QPushButton>
#include <filesystem>

#include "faults/tool_fixture.h"
#include "link/link_session.h"
#include "platform/cp1251.h"

namespace cardpush::test {
namespace {

namespace fs = std::filesystem;

class JobFileFaultsTest : public FaultsToolTest {
protected:
    // The simulator and the tool, connected, with the job files already in
    // the source folder and shown in the local list.
    void Connect()
    {
        StartSimulator(setup_);
        StartTool(setup_);
        ASSERT_TRUE(WaitForListing()) << sim_->Messages();
    }

    void UploadAll()
    {
        Click([&] { Control<QPushButton>(form_, "Button1")->click(); });
    }

    // Selects a job file of the local list and uploads it.
    void UploadSelected(const std::string& name)
    {
        ASSERT_TRUE(SelectJob(name)) << name;
        Click([&] { Control<QAction>(form_, "N3")->trigger(); });
    }

    bool ServeUntilWire(const std::string& bytes)
    {
        return ServeUntil([&] { return sim_->WireLog().size() >= bytes.size(); });
    }

    // The wire log compared without printing megabytes when they differ.
    void ExpectWire(const std::string& expected)
    {
        ASSERT_TRUE(ServeUntilWire(expected)) << sim_->Messages();
        const std::string wire = sim_->WireLog();
        ASSERT_EQ(expected.size(), wire.size());
        const auto mismatch = std::mismatch(expected.begin(), expected.end(), wire.begin());
        EXPECT_TRUE(mismatch.first == expected.end())
            << "first difference at byte " << (mismatch.first - expected.begin());
    }
};

// Four megabytes in 100 000 lines go over whole, announced with their size.
TEST_F(JobFileFaultsTest, JobFileOfSeveralMegabytesGoesOverByteForByte)
{
    std::string content;
    for (int i = 0; content.size() < 4 * 1024 * 1024; ++i) {
        content += std::to_string(i % 5000) + " " + std::string(32, 'A' + i % 26) + "\r\n";
    }
    CreateJob("LARGE.txt", content);
    Connect();

    UploadAll();
    ExpectWire(kHandshakeCommands + UploadHeader("LARGE", content.size()) + content + ">");
    EXPECT_EQ(std::vector<std::string>{}, messages_);
    ASSERT_TRUE(WaitForListing());
    EXPECT_EQ(std::vector<std::string>{Listed("LARGE")}, CardList());
    EXPECT_EQ(std::vector<std::string>{}, JobsOnDisk());
}

// One line of a megabyte is one frame of a megabyte and two bytes.
TEST_F(JobFileFaultsTest, SingleLineOfAMegabyteIsOneFrame)
{
    const std::string line = "12 " + std::string(1024 * 1024, 'x');
    CreateJob("LONG.txt", line);  // no line end: the frame adds CR LF
    Connect();

    UploadSelected("LONG.txt");
    ExpectWire(kHandshakeCommands + UploadHeader("LONG", line.size() + 2) + line + "\r\n" + ">");
    EXPECT_EQ(std::vector<std::string>{}, messages_);
    // Uploading one file never deletes it.
    EXPECT_EQ(std::vector<std::string>{"LONG.txt"}, JobsOnDisk());
}

// NUL bytes are text like any other byte: the lines keep them.
TEST_F(JobFileFaultsTest, NulBytesAreSentAsTheyStand)
{
    const std::string content =
        std::string("1 a\0b\r\n", 7) + std::string("\0\0\0\r\n", 5) + std::string("2,5 \0\r\n", 7);
    CreateJob("NUL.txt", content);
    Connect();

    UploadSelected("NUL.txt");
    ExpectWire(kHandshakeCommands + UploadHeader("NUL", content.size()) + content + ">");
    EXPECT_EQ(std::vector<std::string>{}, messages_);
}

// A file far larger than any job (a disk image saved as .txt) is refused
// before it is read: nothing is sent, the card is not emptied, the file
// stays. It is sparse: its size costs no disk.
TEST_F(JobFileFaultsTest, FileTooLargeToBeAJobIsRefusedBeforeItIsRead)
{
    CreateJob("HUGE.txt", "1 x\r\n");
    fs::resize_file(jobsDir_ / "HUGE.txt", std::uintmax_t{3} << 30);
    Connect();

    UploadAll();
    EXPECT_EQ(std::vector<std::string>{"Файл не загружен: он слишком большой для задания - "
                                       "HUGE.txt (3221225472 байт, наибольший размер 67108864 "
                                       "байт)"},
              messages_);
    ExpectWire(kHandshakeCommands + ">");
    EXPECT_EQ(std::vector<std::string>{"HUGE.txt"}, JobsOnDisk());
}

// A folder named like a job file can't be read: the command ends with the
// file error, nothing but the listing request is sent and nothing is deleted.
TEST_F(JobFileFaultsTest, FolderNamedLikeAJobFileEndsTheUploadWithAFileError)
{
    fs::create_directory(jobsDir_ / "DIR.txt");
    Connect();

    UploadAll();
    EXPECT_EQ(std::vector<std::string>{"Ошибка чтения файла " + (jobsDir_ / "DIR.txt").string()},
              messages_);
    EXPECT_EQ(std::vector<std::string>{"DIR.txt"}, JobsOnDisk());
    ExpectWire(kHandshakeCommands + ">");
}

// A named pipe that nobody writes to: reading it would wait for ever and
// freeze the window. It is refused like a file that can't be opened.
TEST_F(JobFileFaultsTest, NamedPipeNamedLikeAJobFileIsRefusedAtOnce)
{
    ASSERT_EQ(0, ::mkfifo((jobsDir_ / "PIPE.txt").c_str(), 0666));
    Connect();

    UploadSelected("PIPE.txt");
    EXPECT_EQ(
        std::vector<std::string>{"Не удалось открыть файл " + (jobsDir_ / "PIPE.txt").string()},
        messages_);
    EXPECT_EQ(std::vector<std::string>{"PIPE.txt"}, JobsOnDisk());
    ExpectWire(kHandshakeCommands + ">");
}

// The source folder goes away after the local list was filled: uploading a
// listed file fails to open it, and upload all finds nothing to send.
TEST_F(JobFileFaultsTest, SourceFolderThatVanishesAfterTheListing)
{
    CreateJob("GONE.txt", "1 x\r\n");
    Connect();
    ASSERT_EQ(std::vector<std::string>{"GONE.txt"}, Items(Control<QListWidget>(form_, "ListBox1")));
    fs::remove_all(jobsDir_);

    UploadSelected("GONE.txt");
    EXPECT_EQ(
        std::vector<std::string>{"Не удалось открыть файл " + (jobsDir_ / "GONE.txt").string()},
        messages_);
    ASSERT_TRUE(WaitForListing());

    messages_.clear();
    UploadAll();
    EXPECT_EQ(std::vector<std::string>{}, messages_);
    EXPECT_EQ(std::vector<std::string>{}, Items(Control<QListWidget>(form_, "ListBox1")));
    ExpectWire(kHandshakeCommands + ">>");
    ASSERT_TRUE(WaitForListing());
}

}  // namespace
}  // namespace cardpush::test
