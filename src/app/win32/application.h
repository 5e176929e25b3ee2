// The native face's process: the GUI thread's message loop, and the GUI end
// of the main-thread hand-over: worker threads post to a message-only
// window, whose procedure serves what they handed over. Errors of handed-over
// work are shown like those of the windows' commands.
//
// GUI thread; one instance, made before the windows and gone after them.
#pragma once

#include <windows.h>

namespace cardpush::win32 {

class Application {
public:
    Application();
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Runs the message loop until PostQuitMessage; returns its exit code.
    int Run();

private:
    static LRESULT CALLBACK HandOverProcedure(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam);

    HWND handOvers_ = nullptr;
    bool oleReady_ = false;
};

}  // namespace cardpush::win32
