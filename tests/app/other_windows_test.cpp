// The information window and the About box as they start, and the
// information window's port table.
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <string>
#include <vector>

#include "app/qt/Unit2.h"
#include "app/qt/about.h"
#include "app/qt/jpeg_image.h"
#include "platform/cp1251.h"
#include "support/gui_test.h"

namespace cardpush::test {
namespace {

using OtherWindowsTest = GuiTest;

TEST_F(OtherWindowsTest, InformationWindowHasEightEmptyReadOnlyLabelledFields)
{
    TForm2 form;
    EXPECT_TRUE(form.isHidden());
    EXPECT_EQ(Utf8(form.windowTitle()), "Информация о подключении");
    EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    const char* labels[] = {"Серийный номер", "Минимум",  "Максимум",        "Режим",
                            "Состояние",      "Точность", "Версия прошивки", "COM порт"};
    QLineEdit* edits[] = {
        Control<QLineEdit>(&form, "LabeledEdit1"), Control<QLineEdit>(&form, "LabeledEdit2"),
        Control<QLineEdit>(&form, "LabeledEdit3"), Control<QLineEdit>(&form, "LabeledEdit4"),
        Control<QLineEdit>(&form, "LabeledEdit5"), Control<QLineEdit>(&form, "LabeledEdit6"),
        Control<QLineEdit>(&form, "LabeledEdit7"), Control<QLineEdit>(&form, "LabeledEdit8")};
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i + 1);
        QLineEdit* edit = edits[i];
        EXPECT_EQ(edit->objectName(), QString("LabeledEdit%1").arg(i + 1));
        EXPECT_EQ(edit->geometry(), QRect(120, 32 + 24 * i, 121, 21));
        EXPECT_TRUE(edit->isReadOnly());
        EXPECT_TRUE(edit->text().isEmpty());
        auto* label = form.findChild<QLabel*>(QString("EditLabel%1").arg(i + 1));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(Utf8(label->text()), labels[i]);
        EXPECT_EQ(label->buddy(), edit);
        EXPECT_LE(label->geometry().right(), edit->x());  // on its left
        EXPECT_EQ(label->y(), edit->y());
        if (i > 0) {
            QWidget* next = edits[i - 1]->nextInFocusChain();
            while (next->focusPolicy() == Qt::NoFocus) {
                next = next->nextInFocusChain();
            }
            EXPECT_EQ(next, edit);  // tab order from top to bottom
        }
    }
}

PortRow Row(const char* port, const char* utf8Text, bool switchable)
{
    return {port, Utf8ToCp1251(utf8Text), switchable};
}

// The rows in order; "Подключить" only for a selected switchable row, by
// the button or a double click, and not while a long command runs; the
// selection follows its port through a rewrite.
TEST_F(OtherWindowsTest, PortTableSwitchesOnlyToTheSelectedSwitchableRowsPort)
{
    TForm2 form;
    std::vector<std::string> asked;
    QObject::connect(&form, &TForm2::SwitchRequested,
                     [&](const std::string& port) { asked.push_back(port); });
    auto* list = Control<QListWidget>(&form, "ListBox1");
    auto* button = Control<QPushButton>(&form, "Button1");
    EXPECT_EQ(Utf8(Control<QLabel>(&form, "Label1")->text()), "Порты");
    EXPECT_EQ(Utf8(button->text()), "Подключить");
    EXPECT_FALSE(button->isEnabled());

    form.ShowPortRows({Row("COM1", "COM1: рольганг 12345, подключён", false),
                       Row("COM3", "COM3: рольганг 777", true),
                       Row("COM4", "COM4: нет ответа", false)});
    EXPECT_EQ(Items(list), (std::vector<std::string>{"COM1: рольганг 12345, подключён",
                                                     "COM3: рольганг 777", "COM4: нет ответа"}));
    EXPECT_FALSE(button->isEnabled());  // nothing selected
    list->setCurrentRow(0);
    EXPECT_FALSE(button->isEnabled());
    emit list->itemDoubleClicked(list->item(0));
    list->setCurrentRow(1);
    EXPECT_TRUE(button->isEnabled());
    button->click();
    emit list->itemDoubleClicked(list->item(1));
    EXPECT_EQ(asked, (std::vector<std::string>{"COM3", "COM3"}));

    // COM3 moves and stays selected, switchable or not; gone, nothing is.
    form.ShowPortRows(
        {Row("COM3", "COM3: рольганг 777", true), Row("COM1", "COM1: подключён", false)});
    EXPECT_EQ(list->currentRow(), 0);
    EXPECT_TRUE(button->isEnabled());
    form.AllowSwitch(false);  // a long command runs
    EXPECT_FALSE(button->isEnabled());
    emit list->itemDoubleClicked(list->item(0));
    form.AllowSwitch(true);
    EXPECT_TRUE(button->isEnabled());
    EXPECT_EQ(asked.size(), 2U);
    form.ShowPortRows({Row("COM1", "COM1", false), Row("COM3", "COM3: подключён", false)});
    EXPECT_EQ(list->currentRow(), 1);
    EXPECT_FALSE(button->isEnabled());
    form.ShowPortRows({Row("COM1", "COM1", true)});
    EXPECT_TRUE(list->selectedItems().isEmpty());
    EXPECT_FALSE(button->isEnabled());
}

TEST_F(OtherWindowsTest, AboutBoxShowsNameVersionAddressAndPicture)
{
    TAboutBox about;
    EXPECT_TRUE(about.isHidden());
    EXPECT_EQ(Utf8(about.windowTitle()), "О программе");
    EXPECT_EQ(about.size(), QSize(298, 229));
    EXPECT_EQ(about.Panel1->geometry(), QRect(8, 8, 281, 177));
    EXPECT_EQ(about.ProductName->text(), "CardPush");
    EXPECT_EQ(about.ProductName->pos(), QPoint(216, 8));
    EXPECT_EQ(Utf8(about.Version->text()), "Версия 1.0");
    EXPECT_EQ(about.Version->pos(), QPoint(216, 24));
    // The zero-width space is where the address may break.
    EXPECT_EQ(Utf8(about.Comments->text().remove(QChar(0x200B))),
              "Почта: support@cardpush.example");
    EXPECT_EQ(about.Comments->pos(), QPoint(160, 136));
    EXPECT_EQ(about.Comments->width(), 104);
    EXPECT_GE(about.Comments->height(), about.Comments->heightForWidth(104));
    EXPECT_LE(about.Comments->geometry().bottom(), about.Panel1->contentsRect().bottom());
    EXPECT_TRUE(about.Comments->wordWrap());
    EXPECT_EQ(about.ProductName->parentWidget(), about.Panel1);
    EXPECT_EQ(about.OKButton->geometry(), QRect(111, 196, 75, 25));
    EXPECT_TRUE(about.OKButton->isDefault());
    EXPECT_EQ(about.ProgramIcon->pixmap().size(), QSize(281, 177));
    EXPECT_TRUE(about.ProgramIcon->hasScaledContents());
}

TEST_F(OtherWindowsTest, AboutBoxOkClosesWithOk)
{
    TAboutBox about;
    about.show();
    about.OKButton->click();
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

TEST(DecodeJpegTest, DataThatIsNoJpegGivesANullImage)
{
    EXPECT_TRUE(DecodeJpeg(QByteArray()).isNull());
    EXPECT_TRUE(DecodeJpeg(QByteArray("not a picture at all")).isNull());
    // A JPEG start followed by garbage: libjpeg's fatal error must come back
    // as a null image, not end the process.
    EXPECT_TRUE(DecodeJpeg(QByteArray("\xFF\xD8\xFF\xE0garbage", 12)).isNull());
}

}  // namespace
}  // namespace cardpush::test
