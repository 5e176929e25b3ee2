// Settings files that are garbage, empty or huge, settings that can't be
// saved, and a folder name the file can't hold. The main window is made
// fresh for each case; it is not shown, so no link starts.
#include <sys/stat.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "app/settings_format.h"
#include "platform/cp1251.h"
#include "support/gui_test.h"
#include "support/port_list_override.h"

namespace cardpush::test {
namespace {

namespace fs = std::filesystem;

class SettingsFaultsTest : public GuiTest {
protected:
    void TearDown() override
    {
        form_.reset();
        GuiTest::TearDown();
    }

    void OpenWindow(const std::string& settingsFolder)
    {
        form_ = std::make_unique<TForm1>(settingsFolder, nullptr, devices_);
    }

    std::string SourceFolder() const { return Utf8(Control<QLabel>(form_, "Label1")->text()); }

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

    // The real device layer, its port list empty.
    testing::PortListOverride devices_;
    std::unique_ptr<TForm1> form_;
};

// Binary garbage around one setting line: the line is taken, the rest passes
// unnoticed, and loading writes nothing.
TEST_F(SettingsFaultsTest, BinaryGarbageIsPassedOverAndItsSettingLinesTaken)
{
    const std::string file = GarbageLine(16 * 1024, 1) + "\np=0 \n" + GarbageLine(16 * 1024, 2);
    WriteSettingsFile(file);
    OpenWindow(SettingsFolder());
    // Loaded again over a port from before, which no setting line names.
    form_->SetSavedPort("left over");
    EXPECT_TRUE(form_->LoadSettings());

    EXPECT_FALSE(Control<QCheckBox>(form_, "CheckBox1")->isChecked());
    EXPECT_TRUE(Control<QCheckBox>(form_, "CheckBox2")->isChecked());
    EXPECT_EQ("", SourceFolder());
    EXPECT_EQ("", form_->SavedPort());
    EXPECT_EQ(std::vector<std::string>{}, messages_);
    EXPECT_TRUE(ReadSettingsFile() == file);
}

TEST_F(SettingsFaultsTest, EmptyFileLeavesTheDefaults)
{
    WriteSettingsFile("");
    OpenWindow(SettingsFolder());

    EXPECT_TRUE(form_->LoadSettings());
    EXPECT_TRUE(Control<QCheckBox>(form_, "CheckBox1")->isChecked());
    EXPECT_TRUE(Control<QCheckBox>(form_, "CheckBox2")->isChecked());
    EXPECT_EQ("", SourceFolder());
    EXPECT_EQ("", form_->SavedPort());
    EXPECT_EQ("", ReadSettingsFile());
}

// The file holds eight short lines. Comment lines up to its bound between
// the first and the last setting are read to the end, both settings
// applied; a file beyond the bound (a gigabyte would hold start-up up for
// seconds) is not the tool's: it is not read, the defaults stay, the
// operator is told once, and it is never saved over.
TEST_F(SettingsFaultsTest, FileWithinItsBoundIsReadWholeALargerOneIsLeftAlone)
{
    CreateJob("JOB.txt");
    for (const std::size_t commentLines : {60u, 16u * 1024u}) {
        std::string file = "a=" + jobsDir_.string() + "\r\n";
        for (std::size_t i = 0; i < commentLines; ++i) {
            file += " " + std::string(1022, '#') + "\r\n";
        }
        file += "p=0\r\n";
        WriteSettingsFile(file);
        messages_.clear();
        OpenWindow(SettingsFolder());
        form_->show();
        QCoreApplication::processEvents();
        const bool read = file.size() <= kMaxSettingsBytes;

        EXPECT_EQ(read ? jobsDir_.string() : "", SourceFolder()) << file.size();
        EXPECT_EQ(read, !Control<QCheckBox>(form_, "CheckBox1")->isChecked()) << file.size();
        EXPECT_EQ(read ? 0u : 1u, messages_.size()) << file.size();
        form_->close();
        if (!read) {
            EXPECT_TRUE(ReadSettingsFile() == file) << file.size();
        }
        form_.reset();
    }
}

// A long port name within the bound is a port name like any other: kept,
// and written back whole.
TEST_F(SettingsFaultsTest, LongValueIsKeptAndSavedWhole)
{
    const std::string port(32 * 1024, 'X');
    WriteSettingsFile("c=" + port + "\r\n");
    OpenWindow(SettingsFolder());
    EXPECT_EQ(port.size(), form_->SavedPort().size());

    Control<QCheckBox>(form_, "CheckBox2")->setChecked(false);
    Settings saved;
    saved.port = port;
    saved.deleteBeforeUpload = false;
    EXPECT_TRUE(ReadSettingsFile() == FormatSettings(saved));
}

// The "folder" of the settings is a file, so nastr.dat can be neither read
// nor created there, whoever runs the tool. The window starts with the
// defaults, every save fails without a word, and the file stays as it was.
TEST_F(SettingsFaultsTest, SettingsFolderThatIsAFileFailsEverySaveQuietly)
{
    const fs::path notAFolder = settingsDir_ / "file";
    std::ofstream(notAFolder, std::ios::binary) << "kept";
    OpenWindow(Utf8ToCp1251(notAFolder.string()));

    EXPECT_TRUE(Control<QCheckBox>(form_, "CheckBox1")->isChecked());
    Control<QCheckBox>(form_, "CheckBox1")->setChecked(false);
    form_->close();
    EXPECT_EQ(std::vector<std::string>{}, messages_);
    EXPECT_EQ("kept", testing::ReadBytes(notAFolder));
}

// nastr.dat is a folder: it is no settings file, and a save can't replace
// it. The save fails quietly and leaves no temporary file behind.
TEST_F(SettingsFaultsTest, SettingsFileThatIsAFolderIsNeitherReadNorReplaced)
{
    fs::create_directory(SettingsFile());
    OpenWindow(SettingsFolder());
    EXPECT_FALSE(form_->LoadSettings());

    Control<QCheckBox>(form_, "CheckBox2")->setChecked(false);
    EXPECT_EQ(std::vector<std::string>{}, messages_);
    EXPECT_TRUE(fs::is_directory(SettingsFile()));
    std::vector<std::string> entries;
    for (const auto& entry : fs::directory_iterator(settingsDir_)) {
        entries.push_back(entry.path().filename().string());
    }
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ((std::vector<std::string>{"Job files", "nastr.dat"}), entries);
}

// A named pipe in place of nastr.dat would wait for a writer for ever, and
// the window would never open. It is taken for a file that can't be read.
TEST_F(SettingsFaultsTest, NamedPipeInPlaceOfTheFileLeavesTheDefaults)
{
    ASSERT_EQ(0, ::mkfifo(SettingsFile().c_str(), 0666));
    OpenWindow(SettingsFolder());

    EXPECT_FALSE(form_->LoadSettings());
    EXPECT_TRUE(Control<QCheckBox>(form_, "CheckBox1")->isChecked());
    EXPECT_EQ("", SourceFolder());
    EXPECT_EQ(std::vector<std::string>{}, messages_);
}

// A folder whose name holds a line feed can be chosen, but the file can't
// keep it: written as it stands, its second part would become a line of its
// own ("d=0" here, unchecking a box on the next start). The folder is left
// out of the file instead.
TEST_F(SettingsFaultsTest, FolderNameWithALineFeedIsLeftOutOfTheFile)
{
    const fs::path odd = settingsDir_ / "jobs\nd=0";
    fs::create_directory(odd);
    OpenWindow(SettingsFolder());
    folderAnswer_ = Utf8ToCp1251(odd.string());
    Control<QPushButton>(form_, "BitBtn1")->click();
    ASSERT_EQ(odd.string(), SourceFolder());

    EXPECT_EQ(FormatSettings(Settings{}), ReadSettingsFile());
    form_.reset();
    OpenWindow(SettingsFolder());
    EXPECT_TRUE(Control<QCheckBox>(form_, "CheckBox2")->isChecked());
    EXPECT_EQ("", SourceFolder());
}

}  // namespace
}  // namespace cardpush::test
