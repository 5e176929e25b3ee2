// The main window as it starts: every control, its menus and tab order, and
// what its menu items and its closing do.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <memory>

#include "app/qt/Unit1.h"
#include "app/qt/Unit2.h"
#include "app/qt/about.h"
#include "support/gui_test.h"

namespace cardpush::test {
namespace {

using MainWindowTest = MainFormTest;

struct ControlRow {
    const char* name;
    const char* className;
    QRect geometry;  // width and height 0: not fixed by the layout
    const char* caption;
    bool enabled;
    bool visible;
};

QString CaptionOf(QWidget* widget)
{
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        return button->text();
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return label->text();
    }
    if (auto* memo = qobject_cast<QPlainTextEdit*>(widget)) {
        return memo->toPlainText();
    }
    return {};
}

TEST_F(MainWindowTest, EveryControlStartsAsLaidOut)
{
    const ControlRow rows[] = {
        {"BitBtn1", "QPushButton", {24, 16, 241, 57}, "Исходный каталог", true, true},
        {"Label1", "QLabel", {27, 88, 0, 0}, "", true, false},
        {"CheckBox1", "QCheckBox", {48, 94, 209, 17}, "удалить файлы после загрузки", true, true},
        {"ListBox1", "QListWidget", {24, 118, 241, 313}, "", true, true},
        {"Button1", "QPushButton", {280, 166, 169, 105}, "загрузить все файлы", false, true},
        {"Button2", "QPushButton", {464, 17, 241, 57}, "Удалить всё файлы ", false, true},
        {"Label2", "QLabel", {464, 80, 0, 0}, "", true, true},
        {"CheckBox2",
         "QCheckBox",
         {460, 94, 249, 17},
         "удалить файлы  с карты памяти до загрузки",
         false,
         true},
        {"ListBox2", "QListWidget", {464, 118, 241, 313}, "", false, true},
        {"Memo1", "QPlainTextEdit", {456, 152, 257, 297}, "Memo1", true, false},
    };
    for (const ControlRow& row : rows) {
        SCOPED_TRACE(row.name);
        auto* widget = form_->findChild<QWidget*>(row.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_STREQ(widget->metaObject()->className(), row.className);
        EXPECT_EQ(widget->parentWidget(), form_->centralWidget());
        EXPECT_EQ(widget->pos(), row.geometry.topLeft());
        if (row.geometry.width() != 0) {
            EXPECT_EQ(widget->size(), row.geometry.size());
        }
        EXPECT_EQ(Utf8(CaptionOf(widget)), row.caption);
        EXPECT_EQ(widget->isEnabled(), row.enabled);
        EXPECT_EQ(!widget->isHidden(), row.visible);
    }
    EXPECT_TRUE(Control<QCheckBox>(form_, "CheckBox1")->isChecked());
    EXPECT_TRUE(Control<QCheckBox>(form_, "CheckBox2")->isChecked());
    EXPECT_EQ(Control<QListWidget>(form_, "ListBox1")->count(), 0);
    EXPECT_EQ(Control<QListWidget>(form_, "ListBox2")->count(), 0);
}

TEST_F(MainWindowTest, WindowHasItsCaptionFixedClientAreaAndPlace)
{
    EXPECT_EQ(Utf8(form_->windowTitle()), "Загрузка на карту  памяти рольганга");
    EXPECT_EQ(form_->centralWidget()->size(), QSize(727, 448));
    EXPECT_EQ(form_->minimumSize(), form_->maximumSize());
    EXPECT_EQ(form_->pos(), QPoint(408, 238));
    const Qt::WindowFlags flags = form_->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(form_->font().family(), "MS Sans Serif");
}

TEST_F(MainWindowTest, TabOrderFollowsTheLayout)
{
    const std::vector<std::string> expected = {"Button1",   "BitBtn1",   "ListBox1", "ListBox2",
                                               "CheckBox1", "CheckBox2", "Memo1",    "Button2"};
    std::vector<std::string> order;
    QWidget* first = Control<QPushButton>(form_, "Button1");
    QWidget* widget = first;
    do {
        const std::string name = widget->objectName().toStdString();
        if (std::find(expected.begin(), expected.end(), name) != expected.end()) {
            order.push_back(name);
        }
        widget = widget->nextInFocusChain();
    } while (widget != first && order.size() < expected.size());
    EXPECT_EQ(order, expected);
}

std::vector<std::pair<std::string, bool>> ActionsOf(const QWidget* menu)
{
    std::vector<std::pair<std::string, bool>> actions;
    for (QAction* action : menu->actions()) {
        actions.emplace_back(action->objectName().toStdString() + " " + Utf8(action->text()),
                             action->isEnabled());
    }
    return actions;
}

TEST_F(MainWindowTest, MenusHoldTheirItemsAndOnlyUploadStartsDisabled)
{
    using Actions = std::vector<std::pair<std::string, bool>>;
    EXPECT_EQ(ActionsOf(Control<QMenuBar>(form_, "MainMenu1")),
              (Actions{{"N1 Информация", true}, {"N7 Журнал", true}, {"N6 О программе", true}}));
    EXPECT_EQ(ActionsOf(Control<QMenu>(form_, "PopupMenu1")),
              (Actions{{"N4 Обновить", true}, {"N2 Удалить", true}}));
    EXPECT_EQ(ActionsOf(Control<QMenu>(form_, "PopupMenu2")),
              (Actions{{"N3 Загрузить", false}, {"N5 Удалить", true}}));
    EXPECT_EQ(Control<QMenu>(form_, "PopupMenu1")->objectName(), "PopupMenu1");
    EXPECT_EQ(Control<QMenu>(form_, "PopupMenu2")->objectName(), "PopupMenu2");
    EXPECT_EQ(Control<QListWidget>(form_, "ListBox1")->contextMenuPolicy(), Qt::CustomContextMenu);
    EXPECT_EQ(Control<QListWidget>(form_, "ListBox2")->contextMenuPolicy(), Qt::CustomContextMenu);
}

TEST_F(MainWindowTest, InformationItemShowsTheInformationWindowModeless)
{
    TForm2 information(form_.get());
    form_->SetInformationWindow(&information);
    Control<QAction>(form_, "N1")->trigger();
    EXPECT_TRUE(information.isVisible());
    EXPECT_FALSE(information.isModal());
    form_->SetInformationWindow(nullptr);
}

TEST_F(MainWindowTest, AboutItemShowsTheAboutBoxModally)
{
    TAboutBox about(form_.get());
    form_->SetAboutBox(&about);
    bool shownModal = false;
    QTimer::singleShot(0, &about, [&] {
        shownModal = about.isVisible() && about.isModal();
        about.OKButton->click();
    });
    Control<QAction>(form_, "N6")->trigger();
    EXPECT_TRUE(shownModal);
    EXPECT_EQ(about.result(), QDialog::Accepted);
    form_->SetAboutBox(nullptr);
}

TEST_F(MainWindowTest, ClosingSavesTheSettingsAndReportsTheEnd)
{
    int closed = 0;
    QObject::connect(form_.get(), &TForm1::Closed, [&] { ++closed; });
    form_->show();
    form_->close();
    EXPECT_EQ(closed, 1);
    EXPECT_NE(ReadSettingsFile().find("p=-1\r\n"), std::string::npos);
}

TEST_F(MainWindowTest, NoSettingsFileAppearsBeforeASave)
{
    EXPECT_FALSE(std::filesystem::exists(SettingsFile()));
}

}  // namespace
}  // namespace cardpush::test
