#include "app/win32/journal_window.h"

#include <commctrl.h>

#include <algorithm>

#include "platform/wide_text.h"
#include "session/tool_view.h"
#include "ui_layout.h"

namespace cardpush::win32 {
namespace {

namespace layout = ui_layout;
constexpr const layout::Form& kForm = layout::kTJournalWindow;

int IdOf(const char* name)
{
    return layout::ControlNamed(kForm, name).id;
}

// Design pixels: the margin round the panes, the splitter bar's height, the
// gap under a pane's label, the least height a table or log keeps, and the
// least client area.
constexpr int kMargin = 9;
constexpr int kBar = 6;
constexpr int kLabelGap = 2;
constexpr int kLeastPane = 40;
constexpr int kLeastWidth = 320;
constexpr int kLeastHeight = 240;
// A column's room beside its header's text and beside its cells' (the list
// view's own fit leaves the cells' texts touching).
constexpr int kHeaderPadding = 28;
constexpr int kCellPadding = 12;

// A log text as the edit control takes it: "\r\n" line ends, none at the
// end.
std::wstring LogText(const std::wstring& lines)
{
    std::wstring text = WithCrLf(lines);
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, L"\r\n") == 0) {
        text.resize(text.size() - 2);
    }
    return text;
}

}  // namespace

JournalWindow::JournalWindow(HWND owner) : owner_(owner)
{
    // The layout places these controls in panes that a layout manager fills:
    // they are made here, with the layout's IDs and captions, not by
    // BuildControls.
    Create(L"CardPushJournalWindow", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, owner, kForm.rect,
           WideFromUtf8(kForm.title));
    if (Handle() == nullptr) {
        return;
    }
    const auto caption = [](const char* name) {
        return WideFromUtf8(layout::ControlNamed(kForm, name).text);
    };
    journalLabel_ =
        MakeChild(Handle(), L"STATIC", caption("JournalLabel"),
                  WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_LEFTNOWORDWRAP, 0, IdOf("JournalLabel"));
    table_ = MakeChild(Handle(), WC_LISTVIEWW, L"",
                       WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER,
                       WS_EX_CLIENTEDGE, IdOf("JournalTable"));
    logLabel_ =
        MakeChild(Handle(), L"STATIC", caption("LogLabel"),
                  WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_LEFTNOWORDWRAP, 0, IdOf("LogLabel"));
    log_ = MakeChild(Handle(), L"EDIT", L"",
                     WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                         ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL,
                     WS_EX_CLIENTEDGE, IdOf("ProtocolLog"));
    // A multi-line edit holds 30000 characters unless told otherwise; the
    // log's kept lines take far more.
    SendMessageW(log_, EM_SETLIMITTEXT, 0, 0);
    SendMessageW(table_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER);
    int index = 0;
    for (const char* header : kForm.columns) {
        std::wstring text = WideFromUtf8(header);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = text.data();
        column.iSubItem = index;
        column.cx = static_cast<int>(SendMessageW(table_, LVM_GETSTRINGWIDTHW, 0,
                                                  reinterpret_cast<LPARAM>(text.c_str()))) +
                    Scaled(kHeaderPadding);
        SendMessageW(table_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(&column));
        ++index;
    }
    Arrange();
    FitColumns();
}

bool JournalWindow::IsShown() const
{
    return Handle() != nullptr && IsWindowVisible(Handle()) != FALSE;
}

void JournalWindow::InsertRow(int row, const JournalFields& fields)
{
    const int columns = static_cast<int>(kForm.columns.size());
    for (int column = 0; column < columns; ++column) {
        const auto index = static_cast<std::size_t>(column);
        std::wstring text = index < fields.size() ? WideFromUtf8(fields[index]) : std::wstring();
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.iSubItem = column;
        item.pszText = text.data();
        if (column == 0) {
            SendMessageW(table_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        } else {
            SendMessageW(table_, LVM_SETITEMTEXTW, static_cast<WPARAM>(row),
                         reinterpret_cast<LPARAM>(&item));
        }
    }
}

void JournalWindow::ShowContent(const std::vector<JournalFields>& newestFirst,
                                const std::wstring& log)
{
    SendMessageW(table_, WM_SETREDRAW, FALSE, 0);
    SendMessageW(table_, LVM_DELETEALLITEMS, 0, 0);
    const int rows = std::min<int>(kLinesShown, static_cast<int>(newestFirst.size()));
    for (int row = 0; row < rows; ++row) {
        InsertRow(row, newestFirst[static_cast<std::size_t>(row)]);
    }
    FitColumns();
    SendMessageW(table_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(table_, nullptr, TRUE);

    SetText(log_, LogText(log));
    int dropped = 0;
    TrimLog(&dropped);
    const auto length = static_cast<WPARAM>(GetWindowTextLengthW(log_));
    SendMessageW(log_, EM_SETSEL, length, static_cast<LPARAM>(length));
    SendMessageW(log_, EM_SCROLLCARET, 0, 0);
}

void JournalWindow::AddJournalLine(const JournalFields& fields)
{
    InsertRow(0, fields);
    while (SendMessageW(table_, LVM_GETITEMCOUNT, 0, 0) > kLinesShown) {
        SendMessageW(table_, LVM_DELETEITEM, kLinesShown, 0);
    }
    // The first lines of an empty journal would leave the columns at their
    // header's width, the time and the path cut off.
    FitColumns();
}

void JournalWindow::AddLogLines(const std::wstring& lines)
{
    const std::wstring text = LogText(lines);
    const int length = GetWindowTextLengthW(log_);
    DWORD selStart = 0;
    DWORD selEnd = 0;
    SendMessageW(log_, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart),
                 reinterpret_cast<LPARAM>(&selEnd));
    const bool follow = static_cast<int>(selEnd) >= length;
    const auto firstVisible = static_cast<int>(SendMessageW(log_, EM_GETFIRSTVISIBLELINE, 0, 0));

    SendMessageW(log_, EM_SETSEL, static_cast<WPARAM>(length), length);
    const std::wstring added = length > 0 ? L"\r\n" + text : text;
    SendMessageW(log_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(added.c_str()));
    int droppedLines = 0;
    const int droppedChars = TrimLog(&droppedLines);

    if (follow) {
        const auto end = static_cast<WPARAM>(GetWindowTextLengthW(log_));
        SendMessageW(log_, EM_SETSEL, end, static_cast<LPARAM>(end));
        SendMessageW(log_, EM_SCROLLCARET, 0, 0);
        return;
    }
    const int start = std::max(static_cast<int>(selStart) - droppedChars, 0);
    const int stop = std::max(static_cast<int>(selEnd) - droppedChars, 0);
    SendMessageW(log_, EM_SETSEL, static_cast<WPARAM>(start), stop);
    const auto now = static_cast<int>(SendMessageW(log_, EM_GETFIRSTVISIBLELINE, 0, 0));
    SendMessageW(log_, EM_LINESCROLL, 0, std::max(firstVisible - droppedLines, 0) - now);
}

int JournalWindow::TrimLog(int* linesDropped)
{
    const auto lines = static_cast<int>(SendMessageW(log_, EM_GETLINECOUNT, 0, 0));
    *linesDropped = 0;
    if (lines <= kLogLinesKept) {
        return 0;
    }
    *linesDropped = lines - kLogLinesKept;
    const auto cut =
        static_cast<int>(SendMessageW(log_, EM_LINEINDEX, static_cast<WPARAM>(*linesDropped), 0));
    if (cut <= 0) {
        return 0;
    }
    SendMessageW(log_, EM_SETSEL, 0, cut);
    SendMessageW(log_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    return cut;
}

void JournalWindow::FitColumns()
{
    // Each column as wide as its widest text and its header; the last one
    // takes what is left of the table's width besides. (The list view's
    // own "use the header" width is narrower than the header when the
    // table is empty.)
    const int columns = static_cast<int>(kForm.columns.size());
    int used = 0;
    for (int column = 0; column < columns; ++column) {
        const auto index = static_cast<WPARAM>(column);
        SendMessageW(table_, LVM_SETCOLUMNWIDTH, index, LVSCW_AUTOSIZE);
        const std::wstring header = WideFromUtf8(kForm.columns[index]);
        const int headerWidth =
            static_cast<int>(SendMessageW(table_, LVM_GETSTRINGWIDTHW, 0,
                                          reinterpret_cast<LPARAM>(header.c_str()))) +
            Scaled(kHeaderPadding);
        int width = std::max(static_cast<int>(SendMessageW(table_, LVM_GETCOLUMNWIDTH, index, 0)),
                             headerWidth);
        if (column + 1 == columns) {
            RECT client{};
            GetClientRect(table_, &client);
            width = std::max(width, static_cast<int>(client.right) - used);
        }
        SendMessageW(table_, LVM_SETCOLUMNWIDTH, index, width);
        used += width;
    }
}

void JournalWindow::SplitBar(int* top, int* bottom) const
{
    RECT client{};
    GetClientRect(Handle(), &client);
    const int label = LineHeight(journalLabel_) + Scaled(kLabelGap);
    const int margin = Scaled(kMargin);
    const int bar = Scaled(kBar);
    // Both panes: a label and at least kLeastPane of table or log.
    const int least = label + Scaled(kLeastPane);
    const int panes = std::max(static_cast<int>(client.bottom) - 2 * margin - bar, 2 * least);
    const int journal =
        std::clamp(static_cast<int>(split_ * panes + 0.5), least, std::max(panes - least, least));
    *top = margin + journal;
    *bottom = *top + bar;
}

void JournalWindow::Arrange()
{
    if (table_ == nullptr || log_ == nullptr) {
        return;
    }
    RECT client{};
    GetClientRect(Handle(), &client);
    const int margin = Scaled(kMargin);
    const int width = std::max(static_cast<int>(client.right) - 2 * margin, 0);
    const int labelHeight = LineHeight(journalLabel_);
    const int gap = Scaled(kLabelGap);
    int barTop = 0;
    int barBottom = 0;
    SplitBar(&barTop, &barBottom);
    const int bottom = std::max(static_cast<int>(client.bottom) - margin, barBottom);

    HDWP moves = BeginDeferWindowPos(4);
    const auto place = [&moves](HWND control, int x, int y, int w, int h) {
        if (moves != nullptr) {
            moves = DeferWindowPos(moves, control, nullptr, x, y, w, std::max(h, 0),
                                   SWP_NOZORDER | SWP_NOACTIVATE);
        }
    };
    place(journalLabel_, margin, margin, width, labelHeight);
    place(table_, margin, margin + labelHeight + gap, width, barTop - (margin + labelHeight + gap));
    place(logLabel_, margin, barBottom, width, labelHeight);
    place(log_, margin, barBottom + labelHeight + gap, width,
          bottom - (barBottom + labelHeight + gap));
    if (moves != nullptr) {
        EndDeferWindowPos(moves);
    }
}

void JournalWindow::Present()
{
    PresentModeless(Handle(), owner_, &placed_);
}

LRESULT JournalWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
        case WM_CLOSE:
            ShowWindow(Handle(), SW_HIDE);
            return 0;
        case WM_CTLCOLORSTATIC:
            // The log reads as a text, not as a disabled field, although it is
            // read-only.
            if (reinterpret_cast<HWND>(lParam) == log_) {
                HDC dc = reinterpret_cast<HDC>(wParam);
                SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
                SetBkColor(dc, GetSysColor(COLOR_WINDOW));
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
            }
            break;
        case WM_SIZE:
            if (wParam != SIZE_MINIMIZED) {
                Arrange();
                FitColumns();
            }
            return 0;
        case WM_GETMINMAXINFO: {
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            RECT least{0, 0, Scaled(kLeastWidth), Scaled(kLeastHeight)};
            AdjustWindowRectEx(&least, static_cast<DWORD>(GetWindowLongPtrW(Handle(), GWL_STYLE)),
                               FALSE, static_cast<DWORD>(GetWindowLongPtrW(Handle(), GWL_EXSTYLE)));
            info->ptMinTrackSize.x = least.right - least.left;
            info->ptMinTrackSize.y = least.bottom - least.top;
            return 0;
        }
        case WM_SETCURSOR:
            if (LOWORD(lParam) == HTCLIENT && reinterpret_cast<HWND>(wParam) == Handle()) {
                POINT at{};
                GetCursorPos(&at);
                ScreenToClient(Handle(), &at);
                int top = 0;
                int bottom = 0;
                SplitBar(&top, &bottom);
                if (at.y >= top && at.y < bottom) {
                    SetCursor(LoadCursorW(nullptr, IDC_SIZENS));
                    return TRUE;
                }
            }
            break;
        case WM_LBUTTONDOWN: {
            const int y = static_cast<short>(HIWORD(lParam));
            int top = 0;
            int bottom = 0;
            SplitBar(&top, &bottom);
            if (y >= top && y < bottom) {
                dragOffset_ = y - top;
                SetCapture(Handle());
            }
            return 0;
        }
        case WM_MOUSEMOVE:
            if (dragOffset_ >= 0) {
                RECT client{};
                GetClientRect(Handle(), &client);
                const int panes =
                    static_cast<int>(client.bottom) - 2 * Scaled(kMargin) - Scaled(kBar);
                if (panes > 0) {
                    const int y = static_cast<short>(HIWORD(lParam));
                    split_ = std::clamp(
                        static_cast<double>(y - dragOffset_ - Scaled(kMargin)) / panes, 0.0, 1.0);
                    Arrange();
                }
            }
            return 0;
        case WM_LBUTTONUP:
            if (dragOffset_ >= 0) {
                ReleaseCapture();
            }
            return 0;
        case WM_CAPTURECHANGED:
            dragOffset_ = -1;
            return 0;
        case WM_ACTIVATE:
            // The keyboard goes back to the control that had it, the table the
            // first time.
            KeepFocusOnActivate(Handle(), wParam, &lastFocus_, table_);
            return 0;
        default:
            break;
    }
    return Window::HandleMessage(message, wParam, lParam);
}

}  // namespace cardpush::win32
