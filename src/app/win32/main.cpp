// Process entry of the Windows executable: the application (the GUI thread's
// message loop and hand-overs), then the windows and the session, then the
// message loop until the main window closes. The session goes before
// wWinMain returns: it stops the link thread and closes the port.

#include <windows.h>

#include <exception>

#include "app/win32/application.h"
#include "app/win32/dialogs.h"
#include "app/win32/main_window.h"
#include "platform/stop_requests.h"
#include "session/settings_store.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand)
{
    using namespace cardpush;
    try {
        win32::Application application;
        // A console's Ctrl-C or close, when the tool was started from one,
        // closes the main window as the operator does.
        win32::MainWindow* mainWindow = nullptr;
        const platform::StopRequests stopRequests([&mainWindow] {
            if (mainWindow != nullptr) {
                mainWindow->Close();
            }
        });
        // Beside the executable, unless that folder is closed to the user.
        win32::MainWindow window(SettingsStore::ForThisExecutable());
        mainWindow = &window;
        window.Show(showCommand);
        const int status = application.Run();
        mainWindow = nullptr;
        return status;
    } catch (...) {
        win32::ShowException(std::current_exception());
        return 1;
    }
}
