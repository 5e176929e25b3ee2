#include "app/qt/Unit2.h"

#include <utility>

#include "app/qt/qt_text.h"
#include "link/number.h"
#include "ui_Unit2.h"

namespace cardpush {

namespace {

std::optional<QLocale>& PinnedNumberLocale()
{
    static std::optional<QLocale> locale;
    return locale;
}

}  // namespace

void SetNumberLocale(std::optional<QLocale> locale)
{
    PinnedNumberLocale() = std::move(locale);
}

TForm2::TForm2(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::TForm2>())
{
    ui_->setupUi(this);
    setFixedSize(size());
    // System menu only: no minimise or maximise box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
}

TForm2::~TForm2() = default;

void TForm2::ShowValues(const LinkValues& values)
{
    const QString point = PinnedNumberLocale().value_or(QLocale::system()).decimalPoint();
    const char separator = point == QStringLiteral(",") ? ',' : '.';
    ui_->LabeledEdit1->setText(ToQString(values.SerialNumber));
    ui_->LabeledEdit2->setText(ToQString(FloatToText(values.MinValue, separator)));
    ui_->LabeledEdit3->setText(ToQString(FloatToText(values.MaxValue, separator)));
    ui_->LabeledEdit4->setText(ToQString(FloatToText(values.ModeValue, separator)));
    ui_->LabeledEdit5->setText(ToQString(IntegerText(values.StateValue)));
    ui_->LabeledEdit6->setText(ToQString(IntegerText(values.Accuracy)));
    ui_->LabeledEdit7->setText(ToQString(values.FirmwareVersion));
}

void TForm2::ShowPort(const std::string& port)
{
    ui_->LabeledEdit8->setText(ToQString(port));
}

}  // namespace cardpush
