#include "app/win32/about_box.h"

#include <algorithm>
#include <string>

#include "app/jpeg_picture.h"
#include "platform/wide_text.h"
#include "session/session_texts.h"
#include "ui_layout.h"

namespace cardpush::win32 {
namespace {

namespace layout = ui_layout;
constexpr const layout::Form& kForm = layout::kTAboutBox;
constexpr int kPictureResource = 100;

int IdOf(const char* name)
{
    return layout::ControlNamed(kForm, name).id;
}

// The height that text takes in font when it is word-wrapped to width; its
// width, when one word is wider than that.
SIZE WrappedSize(HWND control, const std::wstring& text, int width)
{
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, LayoutFont());
    RECT box{0, 0, width, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return {box.right - box.left, box.bottom - box.top};
}

}  // namespace

AboutBox::AboutBox(HWND owner) : owner_(owner)
{
    // A dialog frame with the system menu's close box only. No
    // WS_CLIPCHILDREN: the picture is painted under the labels, which
    // draw their text over it without a background.
    CreateForm(L"CardPushAboutBox", WS_POPUP | WS_CAPTION | WS_SYSMENU, WS_EX_DLGMODALFRAME, owner,
               kForm);
    // The panel's bevel and the picture are painted by the box itself
    // (Paint); the controls that stand for them stay hidden, so that
    // nothing is drawn over the picture but the labels.
    ShowWindow(Control(IdOf("Panel1")), SW_HIDE);
    ShowWindow(Control(IdOf("ProgramIcon")), SW_HIDE);
    LoadPicture();
    FitComments();
}

void AboutBox::LoadPicture()
{
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(kPictureResource), RT_RCDATA);
    HGLOBAL loaded = found != nullptr ? LoadResource(nullptr, found) : nullptr;
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr) {
        return;
    }
    if (!DecodeJpeg(static_cast<const unsigned char*>(data), SizeofResource(nullptr, found),
                    PixelOrder::Bgr, &pictureWidth_, &pictureHeight_, &picture_)) {
        picture_.clear();
    }
}

// An e-mail address is one word to the line breaker and wider than the
// label: it breaks after the '@', and the label grows downwards to hold the
// lines, as a word-wrapped label sizes itself.
void AboutBox::FitComments()
{
    HWND comments = Control(IdOf("Comments"));
    const RECT place = LaidOut("Comments");
    const int width = place.right - place.left;
    std::wstring text = TextOf(comments);
    SIZE size = WrappedSize(comments, text, width);
    const std::size_t at = text.find(L'@');
    if (size.cx > width && at != std::wstring::npos) {
        text.insert(at + 1, L"\r\n");
        SetText(comments, text);
        size = WrappedSize(comments, text, width);
    }
    SetWindowPos(comments, nullptr, 0, 0, width, std::max<int>(size.cy, place.bottom - place.top),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT AboutBox::LaidOut(const char* name)
{
    const layout::Rect& r = layout::ControlNamed(kForm, name).rect;
    const int left = Scaled(r.x);
    const int top = Scaled(r.y);
    return {left, top, left + Scaled(r.width), top + Scaled(r.height)};
}

void AboutBox::ShowSettingsPlace(const std::filesystem::path& settingsFile)
{
    HWND place = Control(kSettingsPlaceId);
    if (place == nullptr) {
        place = CreateWindowExW(
            0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | ES_NOHIDESEL, 0,
            0, 0, 0, Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(kSettingsPlaceId)),
            Instance(), nullptr);
        if (place == nullptr) {
            return;
        }
        SendMessageW(place, WM_SETFONT, reinterpret_cast<WPARAM>(LayoutFont()), FALSE);
    }
    // Between the picture and the button, which moves down to make room;
    // as many lines as the path takes at the panel's width.
    const RECT panel = LaidOut("Panel1");
    const int width = panel.right - panel.left;
    const int top = panel.bottom + Scaled(6);
    MoveWindow(place, panel.left, top, width, Scaled(400), FALSE);
    SetText(place, WideFromCp1251(session_texts::kSettingsPlace) + settingsFile.wstring());
    const auto lines = static_cast<int>(SendMessageW(place, EM_GETLINECOUNT, 0, 0));
    const int height = std::max(lines, 1) * LineHeight(place);
    MoveWindow(place, panel.left, top, width, height, TRUE);

    HWND ok = Control(IdOf("OKButton"));
    const RECT button = LaidOut("OKButton");
    const int buttonTop = top + height + Scaled(8);
    MoveWindow(ok, button.left, buttonTop, button.right - button.left, button.bottom - button.top,
               TRUE);
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(Handle(), GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(Handle(), GWL_EXSTYLE));
    RECT outer{0, 0, Scaled(kForm.rect.width),
               buttonTop + (button.bottom - button.top) + Scaled(9)};
    AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    SetWindowPos(Handle(), nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void AboutBox::ShowModal()
{
    if (open_) {
        SetForegroundWindow(Handle());
        return;
    }
    CentreOnOwner(Handle(), owner_);
    const bool disableOwner = owner_ != nullptr && IsWindowEnabled(owner_);
    if (disableOwner) {
        EnableWindow(owner_, FALSE);
    }
    open_ = true;
    ShowWindow(Handle(), SW_SHOW);
    SetForegroundWindow(Handle());
    SetFocus(Control(IdOf("OKButton")));

    bool quit = false;
    WPARAM exitCode = 0;
    MSG message{};
    while (open_ && Handle() != nullptr) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            quit = true;
            exitCode = message.wParam;
            break;
        }
        if (got == -1) {
            break;
        }
        // Enter, Esc and the button's keys, as in a dialog box.
        if (Handle() == nullptr || !IsDialogMessageW(Handle(), &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    open_ = false;
    // The owner is enabled before the box hides, so that the system gives
    // it the activation back.
    if (disableOwner) {
        EnableWindow(owner_, TRUE);
    }
    if (Handle() != nullptr) {
        ShowWindow(Handle(), SW_HIDE);
    }
    if (quit) {
        PostQuitMessage(static_cast<int>(exitCode));
    }
}

void AboutBox::Paint()
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(Handle(), &paint);
    // A raised inner and a lowered outer bevel round the picture.
    RECT panel = LaidOut("Panel1");
    DrawEdge(dc, &panel, BDR_SUNKENOUTER | BDR_RAISEDINNER, BF_RECT);
    if (!picture_.empty()) {
        const RECT target = LaidOut("ProgramIcon");
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = pictureWidth_;
        info.bmiHeader.biHeight = -pictureHeight_;  // top row first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, nullptr);
        StretchDIBits(dc, target.left, target.top, target.right - target.left,
                      target.bottom - target.top, 0, 0, pictureWidth_, pictureHeight_,
                      picture_.data(), &info, DIB_RGB_COLORS, SRCCOPY);
    }
    EndPaint(Handle(), &paint);
}

LRESULT AboutBox::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
        case WM_PAINT:
            Paint();
            return 0;
        case WM_CTLCOLORSTATIC: {
            // The labels on the picture: their text without a background.
            const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
            if (id == IdOf("ProductName") || id == IdOf("Version") || id == IdOf("Comments")) {
                HDC dc = reinterpret_cast<HDC>(wParam);
                SetBkMode(dc, TRANSPARENT);
                SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
                return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
            }
            break;
        }
        case DM_GETDEFID:
            return MAKELRESULT(IdOf("OKButton"), DC_HASDEFID);
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            if (HIWORD(wParam) == BN_CLICKED &&
                (id == IdOf("OKButton") || id == IDOK || id == IDCANCEL)) {
                open_ = false;
                return 0;
            }
            break;
        }
        case WM_CLOSE:
            // While ShowModal runs, it hides the box once the owner is back.
            if (!open_) {
                ShowWindow(Handle(), SW_HIDE);
            }
            open_ = false;
            return 0;
        case WM_DESTROY:
            open_ = false;
            break;
        default:
            break;
    }
    return Window::HandleMessage(message, wParam, lParam);
}

}  // namespace cardpush::win32
