// The journal window: the latest lines of the transfer journal, newest
// first, over the protocol log of the link, split by a bar the operator
// can drag. Read-only and modeless, resizable; made hidden at start-up,
// owned by the main window, it lives for the whole run: closing it hides
// it. The main window fills it when it opens it and hands it every new line
// while it is shown.
//
// GUI thread only. The list view's class must be registered first
// (InitCommonControlsEx, at start-up).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app/win32/controls.h"
#include "jobs/journal.h"

namespace cardpush::win32 {

class JournalWindow : public Window {
public:
    // The journal lines the window keeps; older ones drop off the bottom.
    static constexpr int kLinesShown = 500;

    explicit JournalWindow(HWND owner);

    bool IsShown() const;
    // Replaces what is shown: the journal's lines newest first (UTF-8, as
    // the journal file holds them), the protocol log's text (lines ended by
    // "\n" or "\r\n"; the last line end may be left out).
    void ShowContent(const std::vector<JournalFields>& newestFirst, const std::wstring& log);
    // A line that has just been written goes on top.
    void AddJournalLine(const JournalFields& fields);
    // Lines that the protocol log has just taken, in the form ShowContent
    // takes. The log keeps its latest kLogLinesKept lines; a view scrolled
    // to the end follows the new lines, any other stays where it is.
    void AddLogLines(const std::wstring& lines);
    // Shows the window and brings it to the front; the first time, centred
    // on the main window.
    void Present();

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // Places the controls in the client area, the split where it is.
    void Arrange();
    void FitColumns();
    void InsertRow(int row, const JournalFields& fields);
    // Drops the log's oldest lines beyond kLogLinesKept; returns how many
    // characters went.
    int TrimLog(int* linesDropped);
    // The splitter bar's rows in the client area: [top, bottom).
    void SplitBar(int* top, int* bottom) const;

    HWND owner_;
    HWND journalLabel_ = nullptr;
    HWND table_ = nullptr;
    HWND logLabel_ = nullptr;
    HWND log_ = nullptr;
    bool placed_ = false;
    HWND lastFocus_ = nullptr;
    // The journal's share of the height the two panes take.
    double split_ = 0.6;
    // While the bar is dragged: where in the bar it was taken; -1: not.
    int dragOffset_ = -1;
};

}  // namespace cardpush::win32
