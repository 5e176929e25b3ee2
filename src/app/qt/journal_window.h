// The journal window: the latest lines of the transfer journal, newest
// first, over the protocol log of the link. Read-only and modeless; the main
// window fills it when it opens it and hands it every new line while it is
// shown. The layout is resources/Journal.ui.
//
// GUI thread only.
#pragma once

#include <QDialog>
#include <memory>
#include <vector>

#include "jobs/journal.h"

class QPlainTextEdit;
class QTableWidget;

namespace Ui {
class TJournalWindow;
}

namespace cardpush {

class TJournalWindow : public QDialog {
    Q_OBJECT

public:
    // The journal lines the window keeps; older ones drop off the bottom.
    static constexpr int kLinesShown = 500;

    explicit TJournalWindow(QWidget* parent = nullptr);
    ~TJournalWindow() override;

    // Replaces what is shown: the journal's lines newest first, the protocol
    // log's text (UTF-16, as the main window keeps it).
    void ShowContent(const std::vector<JournalFields>& newestFirst, const QString& log);
    // A line that has just been written goes on top.
    void AddJournalLine(const JournalFields& fields);
    void AddLogLine(const QString& line);

private:
    void InsertRow(int row, const JournalFields& fields);

    std::unique_ptr<Ui::TJournalWindow> ui_;
    QTableWidget* table_;
    QPlainTextEdit* log_;
};

}  // namespace cardpush
