// The source folder and the local list: choosing the folder, listing its job
// files, deleting one of them.
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <filesystem>
#include <memory>

#include "app/qt/Unit1.h"
#include "platform/cp1251.h"
#include "support/gui_test.h"

namespace cardpush::test {
namespace {

namespace fs = std::filesystem;

class LocalListTest : public MainFormTest {
protected:
    void ChooseJobsFolder()
    {
        folderAnswer_ = JobsFolder();
        form_->BitBtn1Click();
    }
    void Select(const std::string& utf8Name)
    {
        const auto found = Control<QListWidget>(form_, "ListBox1")
                               ->findItems(QString::fromStdString(utf8Name), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << utf8Name;
        Control<QListWidget>(form_, "ListBox1")->setCurrentItem(found.front());
    }
    std::vector<std::string> Listed() const
    {
        std::vector<std::string> items = Items(Control<QListWidget>(form_, "ListBox1"));
        std::sort(items.begin(), items.end());
        return items;
    }
};

TEST_F(LocalListTest, ChoosingAFolderProposesTheCurrentOneThenSavesAndLists)
{
    CreateJob("Задание.txt");
    ChooseJobsFolder();
    ASSERT_EQ(folderCalls_.size(), 1u);
    EXPECT_EQ(folderCalls_[0].title, "Выбор каталога файлов для конвертации");
    EXPECT_EQ(folderCalls_[0].proposal, "");
    EXPECT_EQ(form_->Session().SourceFolder().string(), JobsFolder());
    EXPECT_EQ(Listed(), std::vector<std::string>{"Задание.txt"});
    EXPECT_NE(ReadSettingsFile().find("a=" + JobsFolder() + "\r\n"), std::string::npos);

    ChooseJobsFolder();  // the same folder again: proposed, saved and listed again
    EXPECT_EQ(folderCalls_[1].proposal, jobsDir_.string());
}

TEST_F(LocalListTest, CancellingTheFolderDialogChangesNothing)
{
    CreateJob("a.txt");
    ChooseJobsFolder();
    fs::remove(SettingsFile());
    CreateJob("b.txt");
    folderAnswer_ = std::nullopt;
    form_->BitBtn1Click();
    EXPECT_EQ(form_->Session().SourceFolder().string(), JobsFolder());
    EXPECT_EQ(Listed(), std::vector<std::string>{"a.txt"});  // not refreshed
    EXPECT_FALSE(fs::exists(SettingsFile()));                // not saved
}

TEST_F(LocalListTest, ListsJobFilesInAnyCaseHiddenReadOnlyAndFolders)
{
    CreateJob("plain.txt");
    CreateJob("UPPER.TXT");
    CreateJob(".hidden.txt");
    CreateJob("locked.txt");
    ::chmod((jobsDir_ / "locked.txt").c_str(), 0444);
    fs::create_directory(jobsDir_ / "folder.txt");
    CreateJob("notes.doc");
    CreateJob("archive.txt.bak");
    ChooseJobsFolder();
    EXPECT_EQ(Listed(), (std::vector<std::string>{".hidden.txt", "UPPER.TXT", "folder.txt",
                                                  "locked.txt", "plain.txt"}));
}

TEST_F(LocalListTest, WithoutASourceFolderNothingIsListed)
{
    form_->Session().RefreshLocalList();
    EXPECT_EQ(Control<QListWidget>(form_, "ListBox1")->count(), 0);
}

TEST_F(LocalListTest, DoubleClickAnywhereRefreshesTheList)
{
    ChooseJobsFolder();
    CreateJob("late.txt");
    EXPECT_EQ(Control<QListWidget>(form_, "ListBox1")->count(), 0);  // a snapshot until refreshed
    QWidget* viewport = Control<QListWidget>(form_, "ListBox1")->viewport();
    const QPointF empty(5, viewport->height() - 5);
    QMouseEvent click(QEvent::MouseButtonDblClick, empty, viewport->mapToGlobal(empty),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &click);
    EXPECT_EQ(Listed(), std::vector<std::string>{"late.txt"});
}

TEST_F(LocalListTest, DeleteRemovesTheSelectedFileAndRefreshes)
{
    CreateJob("Первый.txt");
    CreateJob("second.txt");
    ChooseJobsFolder();
    Select("Первый.txt");
    Control<QAction>(form_, "N5")->trigger();
    EXPECT_EQ(JobsOnDisk(), std::vector<std::string>{"second.txt"});
    EXPECT_EQ(Listed(), std::vector<std::string>{"second.txt"});
    EXPECT_TRUE(messages_.empty());
}

// Names Windows-1251 can't hold are listed once each, as they read
// (composed, a byte that is not UTF-8 as the replacement character), and
// "Удалить" takes the file by its own name: the literal "?.txt" and the
// name with the byte FF are two files.
TEST_F(LocalListTest, NamesOutsideWindows1251AreListedOnceAndDeletedByTheirOwnName)
{
    for (const char* name : {"Реи\u0306ка.txt", "\U0001F600.txt", "?.txt", "\xFF.txt"}) {
        CreateJob(name);
    }
    ChooseJobsFolder();
    EXPECT_EQ(Listed(),
              (std::vector<std::string>{"?.txt", "Рейка.txt", "\uFFFD.txt", "\U0001F600.txt"}));
    for (const auto& [shown, onDisk] : std::vector<std::pair<std::string, std::string>>{
             {"\uFFFD.txt", "\xFF.txt"}, {"?.txt", "?.txt"}, {"Рейка.txt", "Реи\u0306ка.txt"}}) {
        Select(shown);
        const std::vector<std::string> before = JobsOnDisk();
        Control<QAction>(form_, "N5")->trigger();
        std::vector<std::string> expected;
        std::copy_if(before.begin(), before.end(), std::back_inserter(expected),
                     [&](const std::string& name) { return name != onDisk; });
        EXPECT_EQ(JobsOnDisk(), expected) << shown;
    }
    EXPECT_EQ(Listed(), std::vector<std::string>{"\U0001F600.txt"});
}

TEST_F(LocalListTest, DeleteWithoutSelectionDeletesNothingButRefreshes)
{
    CreateJob("a.txt");
    ChooseJobsFolder();
    CreateJob("b.txt");
    Control<QAction>(form_, "N5")->trigger();
    EXPECT_EQ(JobsOnDisk(), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(Listed(), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST_F(LocalListTest, DeleteOfAFolderEntryFailsQuietlyAndItStaysListed)
{
    fs::create_directory(jobsDir_ / "folder.txt");
    ChooseJobsFolder();
    Select("folder.txt");
    Control<QAction>(form_, "N5")->trigger();
    EXPECT_EQ(Listed(), std::vector<std::string>{"folder.txt"});
    EXPECT_TRUE(messages_.empty());
}

// A journal that can't be written (its name taken by a folder, which even
// root can't write as a file) is reported once; the deletes go on.
TEST_F(LocalListTest, JournalThatCannotBeWrittenIsReportedOnceAndTheToolGoesOn)
{
    fs::create_directory(settingsDir_ / "cardpush-journal.csv");
    CreateJob("a.txt");
    CreateJob("b.txt");
    ChooseJobsFolder();
    for (const char* name : {"a.txt", "b.txt"}) {
        Select(name);
        Control<QAction>(form_, "N5")->trigger();
    }
    EXPECT_TRUE(JobsOnDisk().empty());
    ASSERT_EQ(1u, messages_.size());
    EXPECT_TRUE(messages_[0].starts_with("Журнал операций сейчас не записывается")) << messages_[0];
}

}  // namespace
}  // namespace cardpush::test
