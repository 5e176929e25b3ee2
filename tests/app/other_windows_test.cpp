// The information window and the About box as they start.
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/qt/Unit2.h"
#include "app/qt/about.h"
#include "app/qt/jpeg_image.h"
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
