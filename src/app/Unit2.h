// The connection information window: what the identification of the
// controller has found, in eight read-only fields. It has no logic of its
// own; the link fills the fields. The layout is resources/Unit2.ui.
//
// GUI thread only.
#pragma once

#include <QDialog>
#include <memory>

class QLabel;
class QLineEdit;

namespace Ui {
class TForm2;
}

namespace cardpush {

class TForm2 : public QDialog {
    Q_OBJECT

public:
    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    QLineEdit* LabeledEdit1;  // serial number
    QLineEdit* LabeledEdit2;  // minimum
    QLineEdit* LabeledEdit3;  // maximum
    QLineEdit* LabeledEdit4;  // mode
    QLineEdit* LabeledEdit5;  // state
    QLineEdit* LabeledEdit6;  // accuracy
    QLineEdit* LabeledEdit7;  // firmware version
    QLineEdit* LabeledEdit8;  // port on which the controller answered

private:
    std::unique_ptr<Ui::TForm2> ui_;
};

extern TForm2* Form2;

}  // namespace cardpush
