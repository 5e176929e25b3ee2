#include "app/qt/journal_window.h"

#include <QHeaderView>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTableWidget>

#include "ui_Journal.h"

namespace cardpush {
namespace {

// As many as the main window's hidden protocol log keeps.
constexpr int kLogLinesKept = 10000;

}  // namespace

TJournalWindow::TJournalWindow(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TJournalWindow>())
{
    ui_->setupUi(this);
    table_ = ui_->JournalTable;
    log_ = ui_->ProtocolLog;
    log_->setMaximumBlockCount(kLogLinesKept);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    table_->horizontalHeader()->setStretchLastSection(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowMinMaxButtonsHint, true);
}

TJournalWindow::~TJournalWindow() = default;

void TJournalWindow::ShowContent(const std::vector<JournalFields>& newestFirst, const QString& log)
{
    table_->setRowCount(0);
    const int rows = std::min<int>(kLinesShown, static_cast<int>(newestFirst.size()));
    table_->setRowCount(rows);
    for (int row = 0; row < rows; ++row) {
        InsertRow(row, newestFirst[static_cast<std::size_t>(row)]);
    }
    table_->resizeColumnsToContents();
    log_->setPlainText(log);
    log_->verticalScrollBar()->setValue(log_->verticalScrollBar()->maximum());
}

void TJournalWindow::AddJournalLine(const JournalFields& fields)
{
    table_->insertRow(0);
    InsertRow(0, fields);
    if (table_->rowCount() > kLinesShown) {
        table_->setRowCount(kLinesShown);
    }
    // The first lines of an empty journal would leave the columns at their
    // header's width, the time and the path cut off.
    table_->resizeColumnsToContents();
}

void TJournalWindow::AddLogLine(const QString& line)
{
    log_->appendPlainText(line);
}

void TJournalWindow::InsertRow(int row, const JournalFields& fields)
{
    for (int column = 0; column < table_->columnCount(); ++column) {
        const auto index = static_cast<std::size_t>(column);
        const QString text =
            index < fields.size() ? QString::fromStdString(fields[index]) : QString();
        table_->setItem(row, column, new QTableWidgetItem(text));
    }
}

}  // namespace cardpush
