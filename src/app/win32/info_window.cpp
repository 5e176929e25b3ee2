#include "app/win32/info_window.h"

#include <algorithm>

#include "app/win32/wide_text.h"
#include "link/number.h"
#include "ui_layout.h"

namespace cardpush::win32 {
namespace {

namespace layout = ui_layout;
constexpr const layout::Form& kForm = layout::kTForm2;

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

void InfoWindow::Present()
{
    PresentModeless(Handle(), owner_, &placed_);
}

LRESULT InfoWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
        case WM_CLOSE:
            ShowWindow(Handle(), SW_HIDE);
            return 0;
        case WM_ACTIVATE:
            // The keyboard goes back to the field that had it, the first field
            // the first time.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus != nullptr && GetParent(focus) == Handle()) {
                    lastFocus_ = focus;
                }
            } else {
                SetFocus(lastFocus_ != nullptr && IsWindow(lastFocus_)
                             ? lastFocus_
                             : Control(layout::ControlNamed(kForm, "LabeledEdit1").id));
            }
            return 0;
        default:
            break;
    }
    return Window::HandleMessage(message, wParam, lParam);
}

}  // namespace cardpush::win32
