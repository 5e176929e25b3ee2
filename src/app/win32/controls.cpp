#include "app/win32/controls.h"

#include <algorithm>
#include <vector>

#include "app/win32/dialogs.h"
#include "platform/wide_text.h"

namespace cardpush::win32 {
namespace {

int ScreenDpi()
{
    static const int dpi = [] {
        HDC screen = GetDC(nullptr);
        const int value = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
        if (screen != nullptr) {
            ReleaseDC(nullptr, screen);
        }
        return value > 0 ? value : 96;
    }();
    return dpi;
}

struct ControlClass {
    const wchar_t* name;
    DWORD style;
    DWORD exStyle;
};

ControlClass ClassFor(const ui_layout::Control& control)
{
    using ui_layout::Kind;
    switch (control.kind) {
        case Kind::PushButton:
            return {L"BUTTON",
                    static_cast<DWORD>(control.isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) |
                        BS_MULTILINE,
                    0};
        case Kind::CheckBox:
            return {L"BUTTON", BS_AUTOCHECKBOX, 0};
        case Kind::Label:
            return {L"STATIC",
                    static_cast<DWORD>(control.alignRight ? SS_RIGHT : SS_LEFT) | SS_NOPREFIX |
                        (control.wordWrap ? 0 : SS_LEFTNOWORDWRAP * !control.alignRight),
                    0};
        case Kind::ListBox:
            return {L"LISTBOX", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_HSCROLL,
                    WS_EX_CLIENTEDGE};
        case Kind::MultiLineEdit:
            return {L"EDIT",
                    ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL |
                        static_cast<DWORD>(control.readOnly ? ES_READONLY : 0),
                    WS_EX_CLIENTEDGE};
        case Kind::LineEdit:
            return {L"EDIT",
                    ES_AUTOHSCROLL | static_cast<DWORD>(control.readOnly ? ES_READONLY : 0),
                    WS_EX_CLIENTEDGE};
        case Kind::Frame:
            return {L"STATIC", SS_SUNKEN, 0};
        case Kind::Window:
        case Kind::Table:
        case Kind::Pane:
            break;
    }
    return {nullptr, 0, 0};
}

void MakeControl(HWND window, const ui_layout::Control& control)
{
    const ControlClass cls = ClassFor(control);
    if (cls.name == nullptr) {
        return;
    }
    DWORD style = cls.style;
    if (control.visible) {
        style |= WS_VISIBLE;
    }
    if (!control.enabled) {
        style |= WS_DISABLED;
    }
    if (control.tabOrder >= 0) {
        style |= WS_TABSTOP;
    }
    const ui_layout::Rect& r = control.rect;
    HWND made =
        MakeChild(window, cls.name, WideFromUtf8(control.text), style, cls.exStyle, control.id,
                  {Scaled(r.x), Scaled(r.y), Scaled(r.x + r.width), Scaled(r.y + r.height)});
    if (made == nullptr) {
        return;
    }
    if (control.kind == ui_layout::Kind::CheckBox && control.checked) {
        SendMessageW(made, BM_SETCHECK, BST_CHECKED, 0);
    }
}

}  // namespace

HINSTANCE Instance()
{
    return GetModuleHandleW(nullptr);
}

int Scaled(int designPixels)
{
    return MulDiv(designPixels, ScreenDpi(), 96);
}

HFONT LayoutFont()
{
    static HFONT font = CreateFontW(-MulDiv(8, ScreenDpi(), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                                    FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                    DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"MS Shell Dlg 2");
    return font != nullptr ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

Window::~Window()
{
    if (handle_ != nullptr) {
        SetWindowLongPtrW(handle_, GWLP_USERDATA, 0);
        DestroyWindow(handle_);
    }
}

void Window::Create(const wchar_t* className, DWORD style, DWORD exStyle, HWND owner,
                    const ui_layout::Rect& client, const std::wstring& caption, HMENU menu)
{
    WNDCLASSEXW cls{};
    if (!GetClassInfoExW(Instance(), className, &cls)) {
        cls.cbSize = sizeof(cls);
        cls.lpfnWndProc = &Window::Procedure;
        cls.hInstance = Instance();
        cls.hIcon = LoadIconW(Instance(), MAKEINTRESOURCEW(1));
        cls.hIconSm = cls.hIcon;
        cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        cls.lpszClassName = className;
        RegisterClassExW(&cls);
    }
    RECT outer{0, 0, Scaled(client.width), Scaled(client.height)};
    AdjustWindowRectEx(&outer, style, menu != nullptr, exStyle);
    const bool placed = client.x != CW_USEDEFAULT;
    CreateWindowExW(exStyle, className, caption.c_str(), style,
                    placed ? Scaled(client.x) : CW_USEDEFAULT, placed ? Scaled(client.y) : 0,
                    outer.right - outer.left, outer.bottom - outer.top, owner, menu, Instance(),
                    this);
}

void Window::CreateForm(const wchar_t* className, DWORD style, DWORD exStyle, HWND owner,
                        const ui_layout::Form& form, HMENU menu)
{
    Create(className, style, exStyle, owner, form.rect, WideFromUtf8(form.title), menu);
    if (handle_ != nullptr) {
        BuildControls(handle_, form);
    }
}

LRESULT Window::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(handle_, message, wParam, lParam);
}

LRESULT CALLBACK Window::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->handle_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        const LRESULT result =
            Guarded([&] { return self->HandleMessage(message, wParam, lParam); }, LRESULT{0});
        self->handle_ = nullptr;
        return result;
    }
    // An error of a command is shown and the message counts as handled.
    return Guarded([&] { return self->HandleMessage(message, wParam, lParam); }, LRESULT{0});
}

HWND MakeChild(HWND parent, const wchar_t* cls, const std::wstring& text, DWORD style,
               DWORD exStyle, int id, const RECT& place)
{
    HWND made =
        CreateWindowExW(exStyle, cls, text.c_str(), WS_CHILD | style, place.left, place.top,
                        place.right - place.left, place.bottom - place.top, parent,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
    if (made != nullptr) {
        SendMessageW(made, WM_SETFONT, reinterpret_cast<WPARAM>(LayoutFont()), FALSE);
    }
    return made;
}

void BuildControls(HWND window, const ui_layout::Form& form)
{
    std::vector<const ui_layout::Control*> order;
    for (const ui_layout::Control& control : form.controls) {
        order.push_back(&control);
    }
    // The tab order first, then the rest in the layout's order.
    std::stable_sort(order.begin(), order.end(), [](const auto* a, const auto* b) {
        const int ta = a->tabOrder < 0 ? 1 << 20 : a->tabOrder;
        const int tb = b->tabOrder < 0 ? 1 << 20 : b->tabOrder;
        return ta < tb;
    });
    for (const ui_layout::Control* control : order) {
        MakeControl(window, *control);
    }
}

void CentreOnOwner(HWND window, HWND owner)
{
    RECT box{};
    GetWindowRect(window, &box);
    const bool ownerShown = owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner);
    HMONITOR monitor = MonitorFromWindow(ownerShown ? owner : window, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    GetMonitorInfoW(monitor, &info);
    RECT around = info.rcWork;
    if (ownerShown) {
        GetWindowRect(owner, &around);
    }
    const int width = box.right - box.left;
    const int height = box.bottom - box.top;
    int left = (around.left + around.right - width) / 2;
    int top = (around.top + around.bottom - height) / 2;
    const RECT& work = info.rcWork;
    left =
        std::max(std::min(left, static_cast<int>(work.right) - width), static_cast<int>(work.left));
    top =
        std::max(std::min(top, static_cast<int>(work.bottom) - height), static_cast<int>(work.top));
    SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void PresentModeless(HWND window, HWND owner, bool* placed)
{
    if (!*placed) {
        CentreOnOwner(window, owner);
        *placed = true;
    }
    ShowWindow(window, IsIconic(window) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(window);
    BringWindowToTop(window);
}

void KeepFocusOnActivate(HWND window, WPARAM wParam, HWND* lastFocus, HWND first)
{
    if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && GetParent(focus) == window) {
            *lastFocus = focus;
        }
        return;
    }
    const HWND last = *lastFocus;
    SetFocus(last != nullptr && IsWindow(last) && IsWindowEnabled(last) ? last : first);
}

SIZE TextSize(HWND control, const std::wstring& text)
{
    SIZE size{};
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, LayoutFont());
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    size.cy = std::max<LONG>(size.cy, metrics.tmHeight);
    return size;
}

std::wstring TextOf(HWND control)
{
    const int length = GetWindowTextLengthW(control);
    std::wstring text(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
    const int got = GetWindowTextW(control, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(std::max(got, 0)));
    return text;
}

void SetText(HWND control, const std::wstring& text)
{
    SetWindowTextW(control, text.c_str());
}

}  // namespace cardpush::win32
