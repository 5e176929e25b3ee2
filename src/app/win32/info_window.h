// The connection information window: what the identification of the
// controller has found, in eight read-only fields, and the port it answered
// on; below them the port table, every port the search tried with what it
// came to. It shows only what it is given, and forwards the operator's pick
// of another controller to its switch handler. Made hidden at start-up,
// owned by the main window, it lives for the whole run: closing it hides
// it.
//
// GUI thread only.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/win32/controls.h"
#include "link/link_host.h"
#include "session/tool_view.h"

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
    // The port table, rewritten whole. The selected row stays selected
    // while its port is still listed.
    void ShowPortRows(const std::vector<PortRow>& rows);
    // While a long command runs the operator's other commands stay out:
    // no switch, and "Подключить" off.
    void AllowSwitch(bool allowed);
    // What "Подключить" or a double click on a switchable row calls, with
    // that row's port.
    void SetSwitchHandler(std::function<void(const std::string& port)> handler)
    {
        switchHandler_ = std::move(handler);
    }
    // Shows the window modeless and brings it to the front; the first time,
    // centred on the main window.
    void Present();

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void OnCommand(int id, int notification);
    // The selected row; nullptr when none is.
    const PortRow* SelectedRow() const;
    // "Подключить" is enabled while a switchable row is selected.
    void EnableSwitch();

    HWND owner_;
    bool placed_ = false;
    // The field that had the keyboard when the window was last active.
    HWND lastFocus_ = nullptr;
    // What the port table lists, in its order.
    std::vector<PortRow> rows_;
    bool switchAllowed_ = true;
    std::function<void(const std::string& port)> switchHandler_;
};

}  // namespace cardpush::win32
