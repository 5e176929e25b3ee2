// nastr.dat through the main window: what loading applies, what saving
// writes, and that neither disturbs the file when it should not.
#include <sys/stat.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "app/Unit1.h"
#include "app/application.h"
#include "app/settings_format.h"
#include "platform/cp1251.h"
#include "support/gui_test.h"

namespace cardpush::test {
namespace {

namespace fs = std::filesystem;

class SettingsFileTest : public GuiTest {
protected:
    std::unique_ptr<TForm1> Open()
    {
        return std::make_unique<TForm1>(SettingsFolder(), nullptr, noPorts_);
    }
};

TEST_F(SettingsFileTest, WithoutAFileTheDefaultsStayAndNoFileIsMade)
{
    const auto form = Open();
    EXPECT_EQ(form->SourceFolder(), "");
    EXPECT_EQ(form->SavedPort(), "");
    EXPECT_TRUE(Control<QCheckBox>(form, "CheckBox1")->isChecked());
    EXPECT_TRUE(Control<QCheckBox>(form, "CheckBox2")->isChecked());
    EXPECT_EQ(Control<QListWidget>(form, "ListBox1")->count(), 0);
    // Without a file, a port from before is forgotten.
    form->SetSavedPort("COM9");
    EXPECT_FALSE(form->LoadSettings());
    EXPECT_EQ(form->SavedPort(), "");
    EXPECT_FALSE(fs::exists(SettingsFile()));
}

TEST_F(SettingsFileTest, SaveWritesTheWindowsState)
{
    const auto form = Open();
    form->SetSourceFolder("C:\\Job files\\Задания");
    form->SetSavedPort("COM2");
    Control<QCheckBox>(form, "CheckBox1")->setChecked(false);  // saves through its click handler
    // The bytes of the format are checked on their own; here: the state.
    Settings expected;
    expected.sourceFolder = Utf8ToCp1251("C:\\Job files\\Задания");
    expected.port = "COM2";
    expected.deleteAfterUpload = false;
    expected.deleteBeforeUpload = true;
    EXPECT_EQ(ReadSettingsFile(), FormatSettings(expected));
}

TEST_F(SettingsFileTest, WhatIsSavedComesBackIncludingAFolderWithABlank)
{
    CreateJob("a.txt");
    {
        const auto form = Open();
        folderAnswer_ = JobsFolder();  // ".../Job files"
        form->BitBtn1Click();
        form->SetSavedPort("ttyUSB0");
        Control<QCheckBox>(form, "CheckBox2")->setChecked(false);
    }
    const auto form = Open();
    EXPECT_EQ(form->SourceFolder(), JobsFolder());
    EXPECT_EQ(Items(Control<QListWidget>(form, "ListBox1")), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(form->SavedPort(), "ttyUSB0");
    EXPECT_TRUE(Control<QCheckBox>(form, "CheckBox1")->isChecked());
    EXPECT_FALSE(Control<QCheckBox>(form, "CheckBox2")->isChecked());
}

TEST_F(SettingsFileTest, LoadingAppliesTheFileLineByLineTheLastOneWinning)
{
    CreateJob("job.txt");
    WriteSettingsFile(
        Utf8ToCp1251(" каталог входных файлов\n"
                     "a=/nowhere\r\n"
                     "a=" +
                     jobsDir_.string() +
                     "\r\n"
                     "A=/upper/case/is/no/key\r\n"
                     "a=\r\n"  // empty: the folder stays
                     "c=COM1\n"
                     "cxCOM4\n"  // the second character is not examined
                     "p=0 keep the files\r\n"
                     "d=False"));  // no line end; anything but "0" checks
    const auto form = Open();
    EXPECT_EQ(form->SourceFolder(), JobsFolder());
    EXPECT_EQ(Items(Control<QListWidget>(form, "ListBox1")), std::vector<std::string>{"job.txt"});
    EXPECT_EQ(form->SavedPort(), "COM4");
    EXPECT_FALSE(Control<QCheckBox>(form, "CheckBox1")->isChecked());
    EXPECT_TRUE(Control<QCheckBox>(form, "CheckBox2")->isChecked());
}

TEST_F(SettingsFileTest, OnlyZeroClearsABox)
{
    for (const char* value : {"00", "1", "-1", "False"}) {
        WriteSettingsFile(std::string("p=") + value + "\r\nd=0\r\n");
        const auto form = Open();
        EXPECT_TRUE(Control<QCheckBox>(form, "CheckBox1")->isChecked()) << value;
        EXPECT_FALSE(Control<QCheckBox>(form, "CheckBox2")->isChecked()) << value;
    }
}

TEST_F(SettingsFileTest, AMissingSavedFolderIsKeptWithAnEmptyList)
{
    WriteSettingsFile("a=/no/such/folder\r\n");
    const auto form = Open();
    EXPECT_EQ(form->SourceFolder(), "/no/such/folder");
    EXPECT_EQ(Control<QListWidget>(form, "ListBox1")->count(), 0);
    EXPECT_TRUE(messages_.empty());
}

// The boxes change while the file is read; their click handler must not
// rewrite (on POSIX: truncate) the file being loaded.
TEST_F(SettingsFileTest, LoadingNeverWritesTheFile)
{
    const std::string file = "# a hand-made file\r\np=0\r\nd=0\r\nz=kept\r\n";
    WriteSettingsFile(file);
    const auto form = Open();
    EXPECT_FALSE(Control<QCheckBox>(form, "CheckBox1")->isChecked());
    EXPECT_EQ(ReadSettingsFile(), file);
    // Once loaded, a click saves as usual.
    Control<QCheckBox>(form, "CheckBox1")->setChecked(true);
    EXPECT_NE(ReadSettingsFile().find("p=-1\r\n"), std::string::npos);
}

TEST_F(SettingsFileTest, AFolderNamedLikeTheFileIsNoFileAndSavesFailQuietly)
{
    fs::create_directory(SettingsFile());
    const auto form = Open();
    Control<QCheckBox>(form, "CheckBox1")->setChecked(false);
    form->SaveSettings();
    EXPECT_TRUE(fs::is_directory(SettingsFile()));
    EXPECT_TRUE(messages_.empty());
}

TEST_F(SettingsFileTest, AnUnwritableFolderMakesEverySaveFailQuietly)
{
    const auto form = std::make_unique<TForm1>(settingsDir_ / "gone", nullptr, noPorts_);
    Control<QCheckBox>(form, "CheckBox1")->setChecked(false);
    form->SaveSettings();
    EXPECT_FALSE(Control<QCheckBox>(form, "CheckBox1")->isChecked());
    EXPECT_FALSE(fs::exists(settingsDir_ / "gone"));
    EXPECT_TRUE(messages_.empty());
}

// A file that is there but can't be read (here: a named pipe, which is
// refused at once) is never replaced by the defaults: the operator is told
// once, when the window shows.
TEST_F(SettingsFileTest, AFileThatCannotBeReadIsNeverSavedOver)
{
    ASSERT_EQ(::mkfifo(SettingsFile().c_str(), 0600), 0);
    const auto form = Open();
    EXPECT_TRUE(Control<QCheckBox>(form, "CheckBox1")->isChecked());
    Control<QCheckBox>(form, "CheckBox1")->setChecked(false);
    form->SaveSettings();
    form->show();
    for (int i = 0; i < 100 && messages_.empty(); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    EXPECT_TRUE(fs::is_fifo(SettingsFile()));
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].rfind("Не удалось прочитать настройки: ", 0), 0u) << messages_[0];
}

// A folder whose path Windows-1251 can't hold is used for the run; the
// file keeps the folder it had.
TEST_F(SettingsFileTest, AFolderTheFileCannotHoldIsUsedButNotKept)
{
    WriteSettingsFile("a=/previous\r\n");
    const fs::path odd = settingsDir_ / "\U0001F600 jobs";
    fs::create_directory(odd);
    std::ofstream(odd / "a.txt") << "1 x\r\n";
    const auto form = Open();
    folderAnswer_ = odd.string();
    form->BitBtn1Click();
    EXPECT_EQ(form->SourceFolder(), odd);
    EXPECT_EQ(Items(Control<QListWidget>(form, "ListBox1")), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(messages_.size(), 1u);
    EXPECT_NE(ReadSettingsFile().find("a=/previous\r\n"), std::string::npos);
}

// An installed copy whose folder the user may not write keeps its settings
// in the user's folder; until there is a file there, it starts from the one
// the administrator put beside the executable, and saves to the user's.
TEST_F(SettingsFileTest, AnInstalledCopyStartsFromTheFileBesideTheExecutable)
{
    WriteSettingsFile("c=COM5\r\np=0\r\n");
    const fs::path userFolder = settingsDir_ / "user";
    fs::create_directory(userFolder);
    const auto form =
        std::make_unique<TForm1>(userFolder.string(), nullptr, noPorts_, SettingsFile());
    EXPECT_EQ("COM5", form->SavedPort());
    EXPECT_FALSE(Control<QCheckBox>(form, "CheckBox1")->isChecked());

    form->SaveSettings();
    Settings saved;
    saved.port = "COM5";
    saved.deleteAfterUpload = false;
    EXPECT_EQ(FormatSettings(saved), testing::ReadBytes(userFolder / "nastr.dat"));
    EXPECT_EQ("c=COM5\r\np=0\r\n", ReadSettingsFile());
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

// The link thread sets the port while the window may save it.
TEST_F(SettingsFileTest, SavedPortMayBeSetByAnotherThreadWhileSaving)
{
    const auto form = Open();
    std::thread link([&form] {
        for (int i = 0; i < 200; ++i) {
            form->SetSavedPort(i % 2 ? "COM5" : "ttyUSB0");
        }
    });
    for (int i = 0; i < 200; ++i) {
        const std::string port = form->SavedPort();
        EXPECT_TRUE(port == "COM5" || port == "ttyUSB0" || port.empty()) << port;
    }
    form->SaveSettings();
    link.join();
    EXPECT_EQ(form->SavedPort(), "COM5");
}

}  // namespace
}  // namespace cardpush::test
