// nastr.dat through the session, with no window: what loading applies, what
// saving writes, and that neither disturbs the file when it should not;
// files that are garbage, empty, huge or no files at all; folders the file
// can't keep.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <thread>

#include "platform/cp1251.h"
#include "platform/fake_comm_api.h"
#include "platform/main_thread.h"
#include "session/settings_store.h"
#include "session/tool_session.h"
#include "support/link_wait.h"
#include "support/recording_view.h"
#include "support/temp_folder.h"

namespace cardpush {
namespace {

namespace fs = std::filesystem;

class SettingsTest : public ::testing::Test {
protected:
    SettingsTest()
    {
        platform::MainThread::Bind();
        fs::create_directory(jobs_);
        // A session that is started searches on a device layer of no ports.
        noPorts_.FailNext(test::Call::CreateFileA, ERROR_FILE_NOT_FOUND, -1);
    }
    ~SettingsTest() override { session_.reset(); }

    // The session made afresh over folder's nastr.dat, as at start-up.
    ToolSession& Open(const fs::path& folder, fs::path startingFile = {})
    {
        session_.reset();
        view_ = std::make_unique<testing::RecordingView>();
        session_ = std::make_unique<ToolSession>(
            *view_, SettingsStore(folder, std::move(startingFile)), noPorts_);
        return *session_;
    }
    ToolSession& Open() { return Open(folder_.path()); }

    fs::path File() const { return folder_.path() / kSettingsFileName; }
    void Write(const std::string& bytes) const { std::ofstream(File(), std::ios::binary) << bytes; }
    std::string Read() const { return testing::ReadBytes(File()); }
    void CreateJob(const std::string& name) const
    {
        std::ofstream(jobs_ / name, std::ios::binary) << "1 x\r\n";
    }
    std::vector<std::string> LocalNames() const
    {
        std::vector<std::string> names;
        for (const auto& name : view_->LocalFiles()) {
            names.push_back(name.string());
        }
        return names;
    }
    // Random bytes without a line feed, so that they make one line, led by
    // a byte that is no setting key.
    static std::string GarbageLine(std::size_t size, unsigned seed)
    {
        std::mt19937 random(seed);
        std::string line(1, '\xff');
        while (line.size() < size) {
            const char byte = static_cast<char>(random() & 0xFF);
            line += byte == '\n' ? '\r' : byte;
        }
        return line;
    }

    test::FakeCommApi noPorts_;
    testing::TempFolder folder_{"cardpush-settings"};
    fs::path jobs_ = folder_.path() / "Job files";  // a blank in the path on purpose
    std::unique_ptr<testing::RecordingView> view_;
    std::unique_ptr<ToolSession> session_;
};

TEST_F(SettingsTest, WithoutAFileTheDefaultsStayAndNoFileIsMade)
{
    ToolSession& session = Open();
    EXPECT_EQ(session.SourceFolder(), "");
    EXPECT_EQ(session.SavedPort(), "");
    EXPECT_EQ(view_->Options(), (UploadOptions{true, true}));
    EXPECT_TRUE(view_->LocalFiles().empty());
    EXPECT_FALSE(fs::exists(File()));
}

TEST_F(SettingsTest, ChangesAreSavedAndComeBackIncludingAFolderWithABlank)
{
    CreateJob("a.txt");
    {
        ToolSession& session = Open();
        session.ChooseSourceFolder(jobs_);
        session.SetSavedPort("ttyUSB0");
        session.SetOptions({true, false});
        Settings expected;
        expected.sourceFolder = jobs_.string();
        expected.port = "ttyUSB0";
        expected.deleteBeforeUpload = false;
        EXPECT_EQ(Read(), FormatSettings(expected));
    }
    ToolSession& session = Open();
    EXPECT_EQ(session.SourceFolder(), jobs_);
    EXPECT_EQ(LocalNames(), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(session.SavedPort(), "ttyUSB0");
    EXPECT_EQ(view_->Options(), (UploadOptions{true, false}));
    // A long port name within the bound is kept and written back whole.
    const std::string port(32 * 1024, 'X');
    session.SetSavedPort(port);
    EXPECT_TRUE(session.RequestClose());
    EXPECT_EQ(port, Open().SavedPort());
}

TEST_F(SettingsTest, LoadingAppliesTheFileLineByLineTheLastOneWinning)
{
    CreateJob("job.txt");
    Write(
        Utf8ToCp1251(" каталог входных файлов\n"
                     "a=/nowhere\r\n"
                     "a=" +
                     jobs_.string() +
                     "\r\n"
                     "A=/upper/case/is/no/key\r\n"
                     "a=\r\n"  // empty: the folder stays
                     "c=COM1\n"
                     "cxCOM4\n"  // the second character is not examined
                     "p=0 keep the files\r\n"
                     "d=False"));  // no line end; anything but "0" checks
    ToolSession& session = Open();
    EXPECT_EQ(session.SourceFolder(), jobs_);
    EXPECT_EQ(LocalNames(), std::vector<std::string>{"job.txt"});
    EXPECT_EQ(session.SavedPort(), "COM4");
    EXPECT_EQ(view_->Options(), (UploadOptions{false, true}));
}

TEST_F(SettingsTest, OnlyZeroClearsAnOption)
{
    for (const char* value : {"00", "1", "-1", "False"}) {
        Write(std::string("p=") + value + "\r\nd=0\r\n");
        Open();
        EXPECT_EQ(view_->Options(), (UploadOptions{true, false})) << value;
    }
}

// Files that hold no setting of the tool's, or only some among garbage:
// what they set is taken, the rest passes unnoticed, and loading writes
// nothing. A missing saved folder is kept, with an empty list.
TEST_F(SettingsTest, WhatAFileDoesNotSetKeepsItsDefault)
{
    struct Row {
        const char* what;
        std::string file;
        UploadOptions options;
        std::string folder;
    };
    const Row rows[] = {
        {"empty", "", {true, true}, ""},
        {"garbage around a line",
         GarbageLine(16 * 1024, 1) + "\np=0 \n" + GarbageLine(16 * 1024, 2),
         {false, true},
         ""},
        {"hand-made", "# a hand-made file\r\np=0\r\nd=0\r\nz=kept\r\n", {false, false}, ""},
        {"folder gone", "a=/no/such/folder\r\n", {true, true}, "/no/such/folder"},
    };
    for (const Row& row : rows) {
        Write(row.file);
        ToolSession& session = Open();
        EXPECT_EQ(view_->Options(), row.options) << row.what;
        EXPECT_EQ(session.SourceFolder(), row.folder) << row.what;
        EXPECT_TRUE(view_->LocalFiles().empty()) << row.what;
        EXPECT_EQ(session.SavedPort(), "") << row.what;
        EXPECT_TRUE(view_->Messages().empty()) << row.what;
        EXPECT_TRUE(Read() == row.file) << row.what;
    }
    // Once loaded, a change saves as usual.
    session_->SetOptions({true, true});
    EXPECT_NE(Read().find("p=-1\r\n"), std::string::npos);
}

// Saves that can't be made fail quietly and leave what is there as it was:
// nastr.dat a folder (no temporary file is left behind either), the
// settings folder gone, or the settings "folder" a file.
TEST_F(SettingsTest, SavesThatCannotBeMadeFailQuietly)
{
    fs::create_directory(File());
    Open().SetOptions({false, true});
    EXPECT_TRUE(fs::is_directory(File()));
    std::vector<std::string> entries;
    for (const auto& entry : fs::directory_iterator(folder_.path())) {
        entries.push_back(entry.path().filename().string());
    }
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ((std::vector<std::string>{"Job files", "nastr.dat"}), entries);

    Open(folder_.path() / "gone").SetOptions({false, true});
    EXPECT_FALSE(fs::exists(folder_.path() / "gone"));

    const fs::path notAFolder = folder_.path() / "file";
    std::ofstream(notAFolder, std::ios::binary) << "kept";
    Open(notAFolder).SetOptions({false, true});
    EXPECT_TRUE(session_->RequestClose());
    EXPECT_EQ("kept", testing::ReadBytes(notAFolder));
    EXPECT_TRUE(view_->Messages().empty());
}

// A file that is there but can't be read is never replaced by the
// defaults: the operator is told once, when the face is up. A named pipe
// (it would wait for a writer for ever) is refused at once; so is a file
// beyond the settings' bound (a gigabyte would hold start-up up for
// seconds), while one within it is read to its end.
TEST_F(SettingsTest, AFileThatCannotBeReadIsNeverSavedOver)
{
    CreateJob("JOB.txt");
    std::string withinBound = "a=" + jobs_.string() + "\r\n";
    for (std::size_t i = 0; i < 60; ++i) {
        withinBound += " " + std::string(1022, '#') + "\r\n";
    }
    withinBound += "p=0\r\n";
    std::string beyondBound = withinBound;
    while (beyondBound.size() <= kMaxSettingsBytes) {
        beyondBound.insert(0, " " + std::string(1022, '#') + "\r\n");
    }

    Write(withinBound);
    EXPECT_EQ(Open().SourceFolder(), jobs_);
    EXPECT_EQ(view_->Options(), (UploadOptions{false, true}));

    Write(beyondBound);
    fs::create_directory(folder_.path() / "pipe");
    ASSERT_EQ(0, ::mkfifo((folder_.path() / "pipe" / kSettingsFileName).c_str(), 0600));
    for (const fs::path& folder : {folder_.path(), folder_.path() / "pipe"}) {
        ToolSession& session = Open(folder);
        EXPECT_EQ(session.SourceFolder(), "") << folder;
        EXPECT_EQ(view_->Options(), (UploadOptions{true, true})) << folder;
        session.SetOptions({false, false});
        session.Start();
        ASSERT_TRUE(testing::ServeUntil([&] { return !view_->Messages().empty(); })) << folder;
        EXPECT_EQ(1u, view_->Messages().size()) << folder;
        EXPECT_EQ(Cp1251ToUtf8(view_->Messages()[0]).rfind("Не удалось прочитать настройки: ", 0),
                  0u)
            << Cp1251ToUtf8(view_->Messages()[0]);
        EXPECT_TRUE(session.RequestClose());
    }
    EXPECT_TRUE(Read() == beyondBound);
    EXPECT_TRUE(fs::is_fifo(folder_.path() / "pipe" / kSettingsFileName));
}

// A folder whose path Windows-1251 can't hold is used for the run, and so
// is one whose name holds a line feed (written as it stands, its second
// part would become a line of its own: "d=0" here): the file keeps the
// folder it had, and the operator is told of the first.
TEST_F(SettingsTest, AFolderTheFileCannotHoldIsUsedButNotKept)
{
    Write("a=/previous\r\n");
    const fs::path odd = folder_.path() / "\U0001F600 jobs";
    fs::create_directory(odd);
    std::ofstream(odd / "a.txt") << "1 x\r\n";
    ToolSession& session = Open();
    session.ChooseSourceFolder(odd);
    EXPECT_EQ(session.SourceFolder(), odd);
    EXPECT_EQ(LocalNames(), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(view_->Messages().size(), 1u);
    EXPECT_NE(Read().find("a=/previous\r\n"), std::string::npos);

    fs::remove(File());
    const fs::path lineFeed = folder_.path() / "jobs\nd=0";
    fs::create_directory(lineFeed);
    Open().ChooseSourceFolder(lineFeed);
    EXPECT_EQ(FormatSettings(Settings{}), Read());
    Open();
    EXPECT_EQ(view_->Options(), (UploadOptions{true, true}));
    EXPECT_EQ(session_->SourceFolder(), "");
}

// An installed copy whose folder the user may not write keeps its settings
// in the user's folder; until there is a file there, it starts from the one
// the administrator put beside the executable, and saves to the user's.
TEST_F(SettingsTest, AnInstalledCopyStartsFromTheFileBesideTheExecutable)
{
    Write("c=COM5\r\np=0\r\n");
    const fs::path userFolder = folder_.path() / "user";
    fs::create_directory(userFolder);
    ToolSession& session = Open(userFolder, File());
    EXPECT_EQ("COM5", session.SavedPort());
    EXPECT_EQ(view_->Options(), (UploadOptions{false, true}));

    EXPECT_TRUE(session.RequestClose());
    Settings saved;
    saved.port = "COM5";
    saved.deleteAfterUpload = false;
    EXPECT_EQ(FormatSettings(saved), testing::ReadBytes(userFolder / kSettingsFileName));
    EXPECT_EQ("c=COM5\r\np=0\r\n", Read());
}

// Beside the executable, unless that folder is closed to the user and the
// system names a folder of the user's own.
TEST(SettingsFolderTest, IsTheExecutablesOwnUnlessItIsClosed)
{
    const fs::path exe = "/opt/cardpush";
    const fs::path user = "/home/op/.config/cardpush";
    struct Row {
        bool exeWritable;
        fs::path userFolder;
        fs::path expected;
    };
    for (const Row& row : {Row{true, user, exe}, Row{false, user, user}, Row{false, "", exe}}) {
        EXPECT_EQ(SettingsFolder(
                      exe, [&](const fs::path& folder) { return folder == exe && row.exeWritable; },
                      row.userFolder),
                  row.expected);
    }
}

// The link thread sets the port while the session may save it.
TEST_F(SettingsTest, SavedPortMayBeSetByAnotherThreadWhileSaving)
{
    ToolSession& session = Open();
    std::thread link([&session] {
        for (int i = 0; i < 200; ++i) {
            session.SetSavedPort(i % 2 ? "COM5" : "ttyUSB0");
        }
    });
    for (int i = 0; i < 200; ++i) {
        const std::string port = session.SavedPort();
        EXPECT_TRUE(port == "COM5" || port == "ttyUSB0" || port.empty()) << port;
        session.SetOptions({i % 2 == 0, true});
    }
    link.join();
    EXPECT_EQ(session.SavedPort(), "COM5");
}

}  // namespace
}  // namespace cardpush
