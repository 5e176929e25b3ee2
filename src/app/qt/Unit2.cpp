#include "app/qt/Unit2.h"

#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <utility>

#include "app/qt/list_box.h"
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
    connect(ui_->ListBox1, &QListWidget::itemSelectionChanged, this, &TForm2::SelectionChanged);
    connect(ui_->ListBox1, &QListWidget::itemDoubleClicked, this, &TForm2::Switch);
    connect(ui_->Button1, &QPushButton::clicked, this, &TForm2::Switch);
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

void TForm2::ShowPortRows(const std::vector<PortRow>& rows)
{
    const PortRow* selected = SelectedRow();
    const std::string selectedPort = selected != nullptr ? selected->port : std::string();
    const bool wasSelected = selected != nullptr;
    rows_ = rows;
    {
        // The button follows the selection once, when the table is whole.
        const QSignalBlocker quiet(ui_->ListBox1);
        ui_->ListBox1->clear();
        for (std::size_t i = 0; i < rows_.size(); ++i) {
            QListWidgetItem* item = IndexedItem(ToQString(rows_[i].text), static_cast<int>(i));
            ui_->ListBox1->addItem(item);
            if (wasSelected && rows_[i].port == selectedPort) {
                ui_->ListBox1->setCurrentItem(item);
            }
        }
    }
    SelectionChanged();
}

void TForm2::AllowSwitch(bool allowed)
{
    switchAllowed_ = allowed;
    SelectionChanged();
}

const PortRow* TForm2::SelectedRow() const
{
    const auto index = SelectedIndex(ui_->ListBox1);
    if (!index || *index < 0 || *index >= static_cast<int>(rows_.size())) {
        return nullptr;
    }
    return &rows_[static_cast<std::size_t>(*index)];
}

void TForm2::SelectionChanged()
{
    const PortRow* row = SelectedRow();
    ui_->Button1->setEnabled(switchAllowed_ && row != nullptr && row->switchable);
}

void TForm2::Switch()
{
    const PortRow* row = SelectedRow();
    if (switchAllowed_ && row != nullptr && row->switchable) {
        // A copy: the handler may rewrite the table.
        const std::string port = row->port;
        emit SwitchRequested(port);
    }
}

}  // namespace cardpush
