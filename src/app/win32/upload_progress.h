// The window that shows how far a long command has got while its work runs
// on the session's worker (session/progress.h), with "Остановить".
//
// At 9600 baud a job file of 100 kB takes nearly two minutes on the wire.
// The tool stays responsive meanwhile: Run serves every message, the
// session's hand-overs among them. The caller keeps the operator's other
// commands out (the main window disables them) but leaves the main window
// itself enabled, so that its close (the close box, the system menu, the
// taskbar) still reaches it. The progress window itself can't be closed
// before the work has ended.
//
// Its controls, for tests that read them:
//   101  the progress text (a static)
//   102  the progress bar (0..1000, thousandths done)
//   103  the "Остановить" button
//
// GUI thread only. The progress bar's class must be registered first
// (InitCommonControlsEx, at start-up).
#pragma once

#include <windows.h>

#include <string>

#include "app/win32/controls.h"

namespace cardpush {
class ProgressRun;
}

namespace cardpush::win32 {

class UploadProgress : public Window {
public:
    static constexpr int kTextId = 101;
    static constexpr int kBarId = 102;
    static constexpr int kStopId = 103;

    // Makes the window, hidden, owned by owner (the main window).
    explicit UploadProgress(HWND owner);

    // Returns once run is done. Work that is done within
    // ProgressRun::kShowAfter never shows the window. A WM_QUIT that
    // arrives meanwhile is posted again once the work is done.
    void Run(ProgressRun& run);

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Refresh();
    // Widens the window when the text needs it; it never narrows while a
    // run lasts, so that it does not jump about.
    void FitText(const std::wstring& text);
    void Arrange(int clientWidth);

    HWND owner_;
    HWND text_ = nullptr;
    HWND bar_ = nullptr;
    HWND stop_ = nullptr;
    // The run being shown; nullptr between runs.
    ProgressRun* run_ = nullptr;
    std::wstring shown_;
    int clientWidth_ = 0;
};

}  // namespace cardpush::win32
