#include "app/win32/upload_progress.h"

#include <commctrl.h>

#include <algorithm>

#include "platform/wide_text.h"
#include "session/progress.h"
#include "session/session_texts.h"

namespace cardpush::win32 {
namespace {

// Timers of the window: the moment it shows, and its refreshes.
constexpr UINT_PTR kShowTimer = 1;
constexpr UINT_PTR kRefreshTimer = 2;

// Design pixels: the margin, the least width of the text, the bar's height,
// the gaps between the rows, the button's least size.
constexpr int kMargin = 11;
constexpr int kLeastTextWidth = 380;
constexpr int kBarHeight = 18;
constexpr int kGap = 6;
constexpr int kButtonWidth = 90;
constexpr int kButtonHeight = 25;

}  // namespace

UploadProgress::UploadProgress(HWND owner) : owner_(owner)
{
    clientWidth_ = Scaled(2 * kMargin + kLeastTextWidth);
    // A caption without the system menu: no close box.
    Create(L"CardPushUploadProgress", WS_POPUP | WS_CAPTION, WS_EX_DLGMODALFRAME, owner,
           ui_layout::Rect{0, 0, 2 * kMargin + kLeastTextWidth, 0},
           WideFromCp1251(session_texts::kProgressTitle));
    if (Handle() == nullptr) {
        return;
    }
    text_ = MakeChild(Handle(), L"STATIC", L"",
                      WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_LEFTNOWORDWRAP, 0, kTextId);
    bar_ = MakeChild(Handle(), PROGRESS_CLASSW, L"", WS_VISIBLE, 0, kBarId);
    stop_ = MakeChild(Handle(), L"BUTTON", WideFromCp1251(session_texts::kProgressStop),
                      WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, kStopId);
    SendMessageW(bar_, PBM_SETRANGE32, 0, 1000);
    Arrange(clientWidth_);
}

void UploadProgress::Arrange(int clientWidth)
{
    const int margin = Scaled(kMargin);
    const int gap = Scaled(kGap);
    const int textHeight = TextSize(text_, L"Ag").cy;
    const SIZE caption = TextSize(stop_, TextOf(stop_));
    const int buttonWidth = std::max<int>(Scaled(kButtonWidth), caption.cx + Scaled(16));
    const int buttonHeight = Scaled(kButtonHeight);
    const int inner = clientWidth - 2 * margin;
    int y = margin;
    MoveWindow(text_, margin, y, inner, textHeight, TRUE);
    y += textHeight + gap;
    MoveWindow(bar_, margin, y, inner, Scaled(kBarHeight), TRUE);
    y += Scaled(kBarHeight) + gap;
    MoveWindow(stop_, clientWidth - margin - buttonWidth, y, buttonWidth, buttonHeight, TRUE);
    y += buttonHeight + margin;

    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(Handle(), GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(Handle(), GWL_EXSTYLE));
    RECT outer{0, 0, clientWidth, y};
    AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    SetWindowPos(Handle(), nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    clientWidth_ = clientWidth;
}

void UploadProgress::FitText(const std::wstring& text)
{
    const int needed = TextSize(text_, text).cx + 2 * Scaled(kMargin);
    if (needed <= clientWidth_) {
        return;
    }
    // No wider than the screen's work area.
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    GetMonitorInfoW(MonitorFromWindow(Handle(), MONITOR_DEFAULTTOPRIMARY), &info);
    RECT frame{0, 0, 0, 0};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(Handle(), GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(Handle(), GWL_EXSTYLE)));
    const int widest = static_cast<int>(info.rcWork.right - info.rcWork.left) -
                       static_cast<int>(frame.right - frame.left);
    const int width = std::min(needed, std::max(widest, clientWidth_));
    if (width <= clientWidth_) {
        return;
    }
    // Grown about its centre, within the work area.
    RECT before{};
    GetWindowRect(Handle(), &before);
    Arrange(width);
    RECT after{};
    GetWindowRect(Handle(), &after);
    const int outerWidth = after.right - after.left;
    int left = before.left - (outerWidth - (before.right - before.left)) / 2;
    left = std::max(std::min(left, static_cast<int>(info.rcWork.right) - outerWidth),
                    static_cast<int>(info.rcWork.left));
    SetWindowPos(Handle(), nullptr, left, before.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void UploadProgress::Refresh()
{
    if (run_ == nullptr) {
        return;
    }
    std::wstring text = WideFromCp1251(run_->Text());
    if (text != shown_) {
        FitText(text);
        SetText(text_, text);
        shown_ = std::move(text);
    }
    SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(std::clamp(run_->Permille(), 0, 1000)), 0);
    if (!run_->StopAllowed() && IsWindowEnabled(stop_)) {
        if (GetFocus() == stop_) {
            SetFocus(Handle());
        }
        EnableWindow(stop_, FALSE);
    }
}

void UploadProgress::Run(ProgressRun& run)
{
    if (run.Done()) {
        run.OnDone({});
        return;
    }
    HWND self = Handle();
    // Wakes the loop below, which then sees the run done (a window that
    // could not be made still waits for the run, without showing).
    run.OnDone([self] {
        if (self != nullptr) {
            PostMessageW(self, WM_NULL, 0, 0);
        } else {
            PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
        }
    });
    run_ = &run;
    if (self != nullptr) {
        SetTimer(self, kShowTimer, static_cast<UINT>(ProgressRun::kShowAfter.count()), nullptr);
    }

    bool quit = false;
    WPARAM exitCode = 0;
    MSG message{};
    while (!run.Done()) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == -1) {
            break;
        }
        if (got == 0) {
            // The run can't be left behind: its end is still to come
            // through this loop. The quit waits for it.
            quit = true;
            exitCode = message.wParam;
            continue;
        }
        // Tab, Space and the arrow keys in the active window, as in a
        // dialog (the main loop does the same).
        HWND active = GetActiveWindow();
        if (active == nullptr || !IsDialogMessageW(active, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }

    run_ = nullptr;
    run.OnDone({});
    if (Handle() != nullptr) {
        KillTimer(Handle(), kShowTimer);
        KillTimer(Handle(), kRefreshTimer);
        ShowWindow(Handle(), SW_HIDE);
    }
    shown_.clear();
    if (quit) {
        PostQuitMessage(static_cast<int>(exitCode));
    }
}

LRESULT UploadProgress::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
        case WM_TIMER:
            if (wParam == kShowTimer) {
                KillTimer(Handle(), kShowTimer);
                if (run_ != nullptr && !run_->Done()) {
                    EnableWindow(stop_, run_->StopAllowed());
                    Refresh();
                    CentreOnOwner(Handle(), owner_);
                    ShowWindow(Handle(), SW_SHOW);
                    SetForegroundWindow(Handle());
                    SetFocus(IsWindowEnabled(stop_) ? stop_ : Handle());
                    SetTimer(Handle(), kRefreshTimer,
                             static_cast<UINT>(ProgressRun::kRefreshEvery.count()), nullptr);
                }
            } else if (wParam == kRefreshTimer) {
                Refresh();
            }
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == kStopId && HIWORD(wParam) == BN_CLICKED && run_ != nullptr &&
                IsWindowEnabled(stop_)) {
                // The keyboard leaves the button before it is disabled.
                SetFocus(Handle());
                EnableWindow(stop_, FALSE);
                run_->Stop();
            }
            // Enter and Esc (IDOK, IDCANCEL) do nothing: only the button stops.
            return 0;
        case WM_CLOSE:
            // Not before the work has ended; Run hides the window then.
            return 0;
        default:
            break;
    }
    return Window::HandleMessage(message, wParam, lParam);
}

}  // namespace cardpush::win32
