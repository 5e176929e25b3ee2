// What every window of the native face shares: the window class that routes
// a window's messages to its object, the layouts' font and scale, and the
// controls of a layout (ui_layout.h) made as standard Win32 controls.
//
// GUI thread only.
#pragma once

#include <windows.h>

#include <string>

#include "app/win32/layout.h"

namespace cardpush::win32 {

// The executable's module.
HINSTANCE Instance();

// A design pixel on this screen: the layouts are drawn at 96 dots per inch.
int Scaled(int designPixels);
// The font the layouts are drawn in: the system's dialog font ("MS Shell
// Dlg 2", which has the Cyrillic letters on every Windows), 8 points.
HFONT LayoutFont();

// A top-level window with an object behind it. The object outlives its
// window: the destructor destroys the window if it is still there.
class Window {
public:
    Window() = default;
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND Handle() const { return handle_; }
    // The control of that ID, or nullptr.
    HWND Control(int id) const { return GetDlgItem(handle_, id); }

protected:
    // Makes the window: its client area clientWidth × clientHeight design
    // pixels (scaled), placed at the design place (left, top) unless
    // CW_USEDEFAULT, owned by owner (nullptr: none). Registers the class
    // on first use.
    void Create(const wchar_t* className, DWORD style, DWORD exStyle, HWND owner,
                const ui_layout::Rect& client, const std::wstring& caption, HMENU menu = nullptr);
    // Makes the form's controls (BuildControls) with the form's caption and
    // client area.
    void CreateForm(const wchar_t* className, DWORD style, DWORD exStyle, HWND owner,
                    const ui_layout::Form& form, HMENU menu = nullptr);

    // A message for this window; the default is DefWindowProcW's answer.
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND handle_ = nullptr;
};

// Makes a child window (WS_CHILD and style) of parent in the layout font,
// with the control ID id, at place (client coordinates, already scaled;
// empty: the caller places it later). Nullptr when it could not be made.
HWND MakeChild(HWND parent, const wchar_t* cls, const std::wstring& text, DWORD style,
               DWORD exStyle, int id, const RECT& place = {});

// Makes the form's controls in window as standard controls, each with its
// control ID, rectangle, caption, initial states and the layout font:
// buttons, check boxes, labels (static), list boxes (notify, no sorting,
// a vertical scroll bar, and a horizontal one where the window gives the
// list a horizontal extent wider than itself), single- and multi-line
// edits (read-only as laid out), and frames (a sunken static). Controls are
// made in the tab order first (Windows tabs through child windows in the
// order they were made), then the rest; those in the tab order get
// WS_TABSTOP. Tables and panes are left to the window.
void BuildControls(HWND window, const ui_layout::Form& form);

// Moves window so that its centre is over owner's (kept inside the work
// area of owner's monitor). An owner that is missing or minimised leaves
// the window centred on its monitor.
void CentreOnOwner(HWND window, HWND owner);

// Shows a modeless window in front, restored if minimised; centred on its
// owner the first time (*placed false), after which it stays where the
// operator leaves it.
void PresentModeless(HWND window, HWND owner, bool* placed);

// WM_ACTIVATE of a modeless window: on the way out, remembers in *lastFocus
// which of its controls had the keyboard; on the way in, gives it back to
// that one while it is there and enabled, else to first.
void KeepFocusOnActivate(HWND window, WPARAM wParam, HWND* lastFocus, HWND first);

// The size text takes in the layout font in control; its height is at
// least a line's. A line's height alone: LineHeight.
SIZE TextSize(HWND control, const std::wstring& text);
inline int LineHeight(HWND control)
{
    return TextSize(control, {}).cy;
}

// The control's text and a new text.
std::wstring TextOf(HWND control);
void SetText(HWND control, const std::wstring& text);

}  // namespace cardpush::win32
