#include "support/gui_test.h"

#include <QListWidget>
#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "app/qt/application.h"
#include "platform/cp1251.h"

namespace cardpush::test {

namespace fs = std::filesystem;

void EnsureApplication()
{
    if (QApplication::instance() != nullptr) {
        return;
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "cardpush_test";
    static char* argv[] = {name, nullptr};
    new CardPushApplication(argc, argv);
}

void GuiTest::SetUp()
{
    EnsureApplication();
    folder_.emplace("cardpush-test");
    settingsDir_ = folder_->path();
    jobsDir_ = settingsDir_ / "Job files";  // a blank in the path on purpose
    noPorts_.FailNext(Call::CreateFileA, ERROR_FILE_NOT_FOUND, -1);
    fs::create_directory(jobsDir_);
    savedMessages_ = SetMessageHandler([this](const std::string& text) {
        messages_.push_back(Cp1251ToUtf8(text));
        if (onMessage_) {
            onMessage_(messages_.back());
        }
    });
    savedFolders_ = SetFolderHandler([this](const std::string& title, const std::string& proposal) {
        folderCalls_.push_back({Cp1251ToUtf8(title), Cp1251ToUtf8(proposal)});
        return folderAnswer_;
    });
}

void GuiTest::TearDown()
{
    SetMessageHandler(std::move(savedMessages_));
    SetFolderHandler(std::move(savedFolders_));
    folder_.reset();
}

void MainFormTest::SetUp()
{
    GuiTest::SetUp();
    form_ = std::make_unique<TForm1>(SettingsStore(settingsDir_), nullptr, noPorts_);
}

void MainFormTest::TearDown()
{
    form_.reset();
    GuiTest::TearDown();
}

std::string GuiTest::SettingsFolder() const
{
    return Utf8ToCp1251(settingsDir_.string());
}

std::string GuiTest::JobsFolder() const
{
    return Utf8ToCp1251(jobsDir_.string());
}

void GuiTest::WriteSettingsFile(const std::string& bytes) const
{
    std::ofstream(SettingsFile(), std::ios::binary) << bytes;
}

std::string GuiTest::ReadSettingsFile() const
{
    return testing::ReadBytes(SettingsFile());
}

void GuiTest::CreateJob(const std::string& utf8Name, const std::string& content) const
{
    std::ofstream(jobsDir_ / utf8Name, std::ios::binary) << content;
}

std::vector<std::string> GuiTest::JobsOnDisk() const
{
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(jobsDir_, ignored)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> Items(const QListWidget* list)
{
    std::vector<std::string> items;
    for (int i = 0; i < list->count(); ++i) {
        items.push_back(Utf8(list->item(i)->text()));
    }
    return items;
}

std::string Utf8(const QString& text)
{
    return text.toStdString();
}

}  // namespace cardpush::test
