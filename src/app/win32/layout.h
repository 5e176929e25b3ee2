// What the generated ui_layout.h holds (scripts/ui-layout.py turns the
// windows' layouts, resources/*.ui, into these tables): every window's
// controls with their control IDs, rectangles, captions (UTF-8), initial
// states and tab order, and its menu items. The native face builds its
// windows from them, so that the Qt face and this one share one layout.
#pragma once

#include <span>
#include <string_view>

namespace cardpush::ui_layout {

enum class Kind {
    Window,
    PushButton,
    Label,
    CheckBox,
    ListBox,
    MultiLineEdit,
    LineEdit,
    Frame,
    Table,
    // A container that a Qt layout fills (a splitter, a pane): no control.
    Pane,
};

struct Rect {
    int x, y, width, height;
};

struct Control {
    const char* name;
    int id;
    Kind kind;
    // The frame or pane it lies on; nullptr: the window itself.
    const char* parent;
    // In the window's client area; empty where a layout places the control.
    Rect rect;
    // The caption or the initial text, UTF-8; nullptr: none.
    const char* text;
    bool enabled;
    bool visible;
    bool checked;
    bool readOnly;
    bool wordWrap;
    // The dialog's default button.
    bool isDefault;
    bool alignRight;
    // Place in the window's tab order, from 0; -1: not in it.
    int tabOrder;
};

struct MenuItem {
    const char* name;
    int id;
    const char* text;  // UTF-8
    bool enabled;
};

struct Form {
    const char* name;
    const char* title;  // UTF-8
    // The design position; the client area's size.
    Rect rect;
    std::span<const Control> controls;
    // Every menu item, main menu and popup menus alike, by name.
    std::span<const MenuItem> menu;
    // The main menu bar's items, by name, in order.
    std::span<const char* const> menuBar;
    // A table's column headers, UTF-8.
    std::span<const char* const> columns;
};

// The control or menu item of that name; a name the layout lacks is a
// compile error where the call is a constant expression.
constexpr const Control& ControlNamed(const Form& form, std::string_view name)
{
    for (const Control& control : form.controls) {
        if (name == control.name) {
            return control;
        }
    }
    throw "no such control in the layout";
}

constexpr const MenuItem& MenuItemNamed(const Form& form, std::string_view name)
{
    for (const MenuItem& item : form.menu) {
        if (name == item.name) {
            return item;
        }
    }
    throw "no such menu item in the layout";
}

}  // namespace cardpush::ui_layout
