#include "app/win32/application.h"

#include <commctrl.h>
#include <ole2.h>

#include "app/win32/controls.h"
#include "app/win32/dialogs.h"
#include "platform/main_thread.h"

namespace cardpush::win32 {
namespace {

constexpr wchar_t kHandOverClass[] = L"CardPushHandOver";
constexpr UINT kServeHandOvers = WM_APP + 1;

}  // namespace

Application::Application()
{
    // The shell's folder picker needs OLE on the thread that opens it.
    oleReady_ = SUCCEEDED(OleInitialize(nullptr));
    INITCOMMONCONTROLSEX controls{sizeof(controls),
                                  ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    WNDCLASSEXW cls{};
    cls.cbSize = sizeof(cls);
    cls.lpfnWndProc = &Application::HandOverProcedure;
    cls.hInstance = Instance();
    cls.lpszClassName = kHandOverClass;
    RegisterClassExW(&cls);
    handOvers_ = CreateWindowExW(0, kHandOverClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 Instance(), nullptr);

    using platform::MainThread;
    MainThread::Bind();
    // Any thread may post; the one message is served with everything queued
    // by then, and a wake-up that finds the queue empty costs nothing.
    const HWND target = handOvers_;
    MainThread::SetWakeup([target] { PostMessageW(target, kServeHandOvers, 0, 0); });
    MainThread::SetExceptionHook([](std::exception_ptr error) { ShowException(error); });
}

Application::~Application()
{
    platform::MainThread::SetWakeup({});
    platform::MainThread::SetExceptionHook({});
    if (handOvers_ != nullptr) {
        DestroyWindow(handOvers_);
    }
    if (oleReady_) {
        OleUninitialize();
    }
}

int Application::Run()
{
    MSG message;
    BOOL got;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (got == -1) {
            return 1;
        }
        // Tab, the arrow keys and Enter move between the active window's
        // controls as in a dialog.
        HWND active = GetActiveWindow();
        if (active != nullptr && IsDialogMessageW(active, &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

LRESULT CALLBACK Application::HandOverProcedure(HWND window, UINT message, WPARAM wParam,
                                                LPARAM lParam)
{
    if (message == kServeHandOvers) {
        // A hand-over's own error goes back to the thread that waits for it,
        // or to the exception hook; nothing leaves through here.
        Guarded(
            [] {
                platform::MainThread::ServePending();
                return 0;
            },
            0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace cardpush::win32
