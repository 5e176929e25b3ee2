// The connection information window: what the identification of the
// controller has found, in eight read-only fields, and the port it answered
// on. It shows only what it is given. Made hidden at start-up, owned by the
// main window, it lives for the whole run: closing it hides it.
//
// GUI thread only.
#pragma once

#include <windows.h>

#include <string>

#include "app/win32/controls.h"
#include "link/link_host.h"

namespace cardpush::win32 {

class InfoWindow : public Window {
public:
    explicit InfoWindow(HWND owner);

    // The seven value fields, all rewritten: serial number, minimum,
    // maximum, mode, state, accuracy, firmware version. Numbers are written
    // with the system's decimal separator.
    void ShowValues(const LinkValues& values);
    // The port on which the controller answered (Windows-1251).
    void ShowPort(const std::string& cp1251);
    // Shows the window modeless and brings it to the front; the first time,
    // centred on the main window.
    void Present();

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    HWND owner_;
    bool placed_ = false;
    // The field that had the keyboard when the window was last active.
    HWND lastFocus_ = nullptr;
};

}  // namespace cardpush::win32
