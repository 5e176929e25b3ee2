#include "app/Unit2.h"

#include "ui_Unit2.h"

namespace cardpush {

TForm2* Form2 = nullptr;

TForm2::TForm2(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::TForm2>())
{
    ui_->setupUi(this);
    LabeledEdit1 = ui_->LabeledEdit1;
    LabeledEdit2 = ui_->LabeledEdit2;
    LabeledEdit3 = ui_->LabeledEdit3;
    LabeledEdit4 = ui_->LabeledEdit4;
    LabeledEdit5 = ui_->LabeledEdit5;
    LabeledEdit6 = ui_->LabeledEdit6;
    LabeledEdit7 = ui_->LabeledEdit7;
    LabeledEdit8 = ui_->LabeledEdit8;
    setFixedSize(size());
    // System menu only: no minimise or maximise box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
}

TForm2::~TForm2() = default;

}  // namespace cardpush
