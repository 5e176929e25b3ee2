// The workspace of every window test: the tool's application object on Qt's
// offscreen platform, a fresh folder for nastr.dat with a job folder in it,
// and the dialogs replaced by recorders.
#pragma once

#include <gtest/gtest.h>

#include <QListWidget>
#include <QString>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/qt/Unit1.h"
#include "app/qt/dialogs.h"
#include "platform/fake_comm_api.h"
#include "support/temp_folder.h"

namespace cardpush::test {

// Creates the application object once per test process.
void EnsureApplication();

class GuiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Folder for nastr.dat (stands in for the executable's folder).
    std::optional<testing::TempFolder> folder_;
    std::filesystem::path settingsDir_;
    // A folder for job files: "Job files" in settingsDir_.
    std::filesystem::path jobsDir_;

    // Texts of the message boxes shown, converted to UTF-8, in order; and
    // what the operator does while each is open (after it is recorded).
    std::vector<std::string> messages_;
    std::function<void(const std::string&)> onMessage_;
    // Folder dialog: each call's title and proposal (UTF-8); the answer the
    // operator gives (nullopt: cancel), as a Windows-1251 path.
    struct FolderCall {
        std::string title;
        std::string proposal;
    };
    std::vector<FolderCall> folderCalls_;
    std::optional<std::string> folderAnswer_;

    // A device layer with no serial port: a shown main window starts the
    // link, whose search must not reach the machine's own ports. Every open
    // fails as for a missing device and the port list is empty.
    FakeCommApi noPorts_;

    std::string SettingsFolder() const;  // Windows-1251
    std::string JobsFolder() const;      // Windows-1251
    std::filesystem::path SettingsFile() const { return settingsDir_ / "nastr.dat"; }
    void WriteSettingsFile(const std::string& bytes) const;
    std::string ReadSettingsFile() const;
    void CreateJob(const std::string& utf8Name, const std::string& content = "1 x\r\n") const;
    std::vector<std::string> JobsOnDisk() const;  // sorted UTF-8 names; none without the folder

private:
    MessageHandler savedMessages_;
    FolderHandler savedFolders_;
};

// A GuiTest with a main window made fresh for each test.
class MainFormTest : public GuiTest {
protected:
    void SetUp() override;
    void TearDown() override;

    std::unique_ptr<TForm1> form_;
};

// A window's control by its object name, as the layout names it
// (Control<QPushButton>(form_, "Button1")); window is a pointer or a smart
// pointer. A missing control throws, which fails the test that asked.
template <class T, class Window>
T* Control(const Window& window, const char* name)
{
    T* control = (*window).template findChild<T*>(QString::fromLatin1(name));
    if (control == nullptr) {
        throw std::logic_error(std::string("the window has no control ") + name);
    }
    return control;
}

// The items of a list widget, in order, in UTF-8.
std::vector<std::string> Items(const QListWidget* list);
std::string Utf8(const QString& text);

}  // namespace cardpush::test
