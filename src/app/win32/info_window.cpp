#include "app/win32/info_window.h"

#include <algorithm>

#include "link/number.h"
#include "platform/wide_text.h"
#include "ui_layout.h"

namespace cardpush::win32 {
namespace {

namespace layout = ui_layout;
constexpr const layout::Form& kForm = layout::kTForm2;
constexpr int kListBox1 = layout::ControlNamed(kForm, "ListBox1").id;
constexpr int kButton1 = layout::ControlNamed(kForm, "Button1").id;
// Room beside a row's text in the port table: a row wider than the list
// scrolls to its end with that much to spare.
constexpr int kRowMargin = 6;

// The decimal separator the operator reads numbers with. The number texts
// take one byte: a separator that is not one printable ASCII character
// falls back to the point.
char SystemDecimalSeparator()
{
    wchar_t separator[8]{};
    const int length = GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator,
                                      static_cast<int>(std::size(separator)));
    if (length == 2 && separator[0] > L' ' && separator[0] < 0x7F) {
        return static_cast<char>(separator[0]);
    }
    return '.';
}

}  // namespace

InfoWindow::InfoWindow(HWND owner) : owner_(owner)
{
    // Fixed size, the system menu only: no minimise or maximise box.
    CreateForm(L"CardPushInfoWindow", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, 0,
               owner, kForm);
}

void InfoWindow::ShowValues(const LinkValues& values)
{
    const char separator = SystemDecimalSeparator();
    const auto field = [this](const char* name) {
        return Control(layout::ControlNamed(kForm, name).id);
    };
    SetText(field("LabeledEdit1"), WideFromCp1251(values.SerialNumber));
    SetText(field("LabeledEdit2"), WideFromCp1251(FloatToText(values.MinValue, separator)));
    SetText(field("LabeledEdit3"), WideFromCp1251(FloatToText(values.MaxValue, separator)));
    SetText(field("LabeledEdit4"), WideFromCp1251(FloatToText(values.ModeValue, separator)));
    SetText(field("LabeledEdit5"), WideFromCp1251(IntegerText(values.StateValue)));
    SetText(field("LabeledEdit6"), WideFromCp1251(IntegerText(values.Accuracy)));
    SetText(field("LabeledEdit7"), WideFromCp1251(values.FirmwareVersion));
}

void InfoWindow::ShowPort(const std::string& cp1251)
{
    SetText(Control(layout::ControlNamed(kForm, "LabeledEdit8").id), WideFromCp1251(cp1251));
}

void InfoWindow::ShowPortRows(const std::vector<PortRow>& rows)
{
    const PortRow* selected = SelectedRow();
    const bool wasSelected = selected != nullptr;
    const std::string selectedPort = wasSelected ? selected->port : std::string();
    rows_ = rows;
    HWND list = Control(kListBox1);
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    int widest = 0;
    for (const PortRow& row : rows_) {
        const std::wstring text = WideFromCp1251(row.text);
        const LRESULT index =
            SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        widest = std::max(widest, static_cast<int>(TextSize(list, text).cx));
        if (wasSelected && index >= 0 && row.port == selectedPort) {
            SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
        }
    }
    SendMessageW(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + Scaled(kRowMargin)), 0);
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
    // A selection made by a message is not announced (LBN_SELCHANGE).
    EnableSwitch();
}

void InfoWindow::Present()
{
    PresentModeless(Handle(), owner_, &placed_);
}

void InfoWindow::AllowSwitch(bool allowed)
{
    switchAllowed_ = allowed;
    EnableSwitch();
}

const PortRow* InfoWindow::SelectedRow() const
{
    const LRESULT index = SendMessageW(Control(kListBox1), LB_GETCURSEL, 0, 0);
    if (index < 0 || index >= static_cast<LRESULT>(rows_.size())) {
        return nullptr;
    }
    return &rows_[static_cast<std::size_t>(index)];
}

void InfoWindow::EnableSwitch()
{
    const PortRow* row = SelectedRow();
    HWND button = Control(kButton1);
    const bool enabled = switchAllowed_ && row != nullptr && row->switchable;
    if (!enabled && GetFocus() == button) {
        // A disabled button would keep the keyboard to itself.
        SetFocus(Control(kListBox1));
    }
    EnableWindow(button, enabled);
}

void InfoWindow::OnCommand(int id, int notification)
{
    const bool switchAsked = (id == kButton1 && notification == BN_CLICKED) ||
                             (id == kListBox1 && notification == LBN_DBLCLK);
    if (id == kListBox1 && notification == LBN_SELCHANGE) {
        EnableSwitch();
    } else if (switchAsked) {
        const PortRow* row = SelectedRow();
        if (switchAllowed_ && row != nullptr && row->switchable && switchHandler_) {
            // A copy: the handler may rewrite the table.
            const std::string port = row->port;
            switchHandler_(port);
        }
    }
}

LRESULT InfoWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_CLOSE:
            ShowWindow(Handle(), SW_HIDE);
            return 0;
        case WM_ACTIVATE:
            // The keyboard goes back to the control that had it, the first
            // field the first time.
            KeepFocusOnActivate(Handle(), wParam, &lastFocus_,
                                Control(layout::ControlNamed(kForm, "LabeledEdit1").id));
            return 0;
        default:
            break;
    }
    return Window::HandleMessage(message, wParam, lParam);
}

}  // namespace cardpush::win32
