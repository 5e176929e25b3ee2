#!/usr/bin/env python3
"""Turns the windows' layouts (resources/*.ui, Qt Designer's XML) into one C++
header of constant tables, for the native Windows face, which builds the same
windows from the Win32 API. The .ui files stay the one place where the
windows' geometry, captions, initial states, tab order and menus are written.

    ui-layout.py OUT.h OUT-ids.txt FILE.ui...

OUT.h holds, per window, a Form (namespace cardpush::ui_layout) with its
controls and menu items. Each control and menu item gets a control ID: 101
on for the widgets in the file's order, 201 on for the menu items. OUT-ids.txt
lists them one a line, for the scripts of the black-box tests, which find
controls by their IDs: "Window.Name=ID X Y WIDTH HEIGHT" for a control (its
rectangle as below), "Window.Name=ID" for a menu item, and
"Window=0 X Y WIDTH HEIGHT" for the window (design place, client size).

Geometry: a control's rectangle is in its window's client area (a child of a
frame is moved by the frame's place). A main window's client area is its
central widget, below the menu bar; a dialog's is the dialog. Controls that
a Qt layout places have an empty rectangle: the face places them itself.
"""
import sys
import xml.etree.ElementTree as ET

KINDS = {
    "QMainWindow": "Window", "QDialog": "Window",
    "QPushButton": "PushButton", "QLabel": "Label", "QCheckBox": "CheckBox",
    "QListWidget": "ListBox", "QPlainTextEdit": "MultiLineEdit", "QLineEdit": "LineEdit",
    "QFrame": "Frame", "QTableWidget": "Table", "QSplitter": "Pane", "QWidget": "Pane",
}


def c_string(text):
    if text is None:
        return "nullptr"
    out = text.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n")
    return '"' + out + '"'


def prop(widget, name):
    """The value element of a widget's property, or None."""
    for p in widget.findall("property"):
        if p.get("name") == name:
            return p[0] if len(p) else None
    return None


def text_of(widget, name):
    value = prop(widget, name)
    return None if value is None else (value.text or "")


def flag(widget, name, default):
    value = prop(widget, name)
    if value is None:
        return default
    return value.text == "true"


def rect_of(widget):
    value = prop(widget, "geometry")
    if value is None:
        return None
    return [int(value.find(k).text) for k in ("x", "y", "width", "height")]


def size_of(widget, name):
    value = prop(widget, name)
    if value is None:
        return None
    return [int(value.find("width").text), int(value.find("height").text)]


class Form:
    def __init__(self, path):
        root = ET.parse(path).getroot()
        top = root.find("widget")
        self.name = top.get("name")
        self.title = text_of(top, "windowTitle") or ""
        geometry = rect_of(top) or [0, 0, 0, 0]
        self.controls = []
        self.columns = []
        central = None
        for child in top.findall("widget"):
            if child.get("class") == "QWidget" and top.get("class") == "QMainWindow":
                central = child
        if central is not None:
            client = size_of(central, "minimumSize") or geometry[2:]
            self.walk(central, None, 0, 0)
        else:
            client = geometry[2:]
            self.walk(top, None, 0, 0)
        self.rect = geometry[:2] + client
        tab_names = [t.text for t in root.findall("tabstops/tabstop")]
        for c in self.controls:
            c["tab"] = tab_names.index(c["name"]) if c["name"] in tab_names else -1
        actions = {a.get("name"): a for a in top.iter("action")}
        self.actions = []
        for i, (name, action) in enumerate(actions.items()):
            self.actions.append({"name": name, "id": 201 + i, "text": text_of(action, "text") or "",
                                 "enabled": flag(action, "enabled", True)})
        bar = next((w for w in top.findall("widget") if w.get("class") == "QMenuBar"), None)
        self.menu_bar = [] if bar is None else [a.get("name") for a in bar.findall("addaction")]

    def walk(self, widget, parent, dx, dy):
        """Adds widget's descendants (through layouts too), in the file's order."""
        for child in widget:
            if child.tag == "layout":
                self.walk(child, parent, dx, dy)
            elif child.tag == "item":
                self.walk(child, parent, dx, dy)
            elif child.tag == "widget":
                cls = child.get("class")
                if cls == "QMenuBar":
                    continue
                kind = KINDS.get(cls)
                if kind is None:
                    sys.exit(f"ui-layout: no native kind for {cls} ({child.get('name')})")
                rect = rect_of(child)
                placed = rect is not None
                r = [rect[0] + dx, rect[1] + dy, rect[2], rect[3]] if placed else [0, 0, 0, 0]
                align = text_of(child, "alignment") or ""
                self.controls.append({
                    "name": child.get("name"), "id": 101 + len(self.controls), "kind": kind,
                    "parent": parent, "rect": r, "text": text_of(child, "text") or
                    text_of(child, "plainText"),
                    "enabled": flag(child, "enabled", True), "visible": flag(child, "visible", True),
                    "checked": flag(child, "checked", False), "readOnly": flag(child, "readOnly", False),
                    "wordWrap": flag(child, "wordWrap", False), "default": flag(child, "default", False),
                    "alignRight": "AlignRight" in align,
                })
                for column in child.findall("column"):
                    self.columns.append(text_of(column, "text") or "")
                self.walk(child, child.get("name"), r[0] if placed else dx, r[1] if placed else dy)


def header(forms):
    out = ["// Generated by scripts/ui-layout.py from resources/*.ui: do not edit.",
           "// The windows' controls, captions, initial states, tab order and menus.",
           "#pragma once", "", '#include "app/win32/layout.h"', "",
           "namespace cardpush::ui_layout {", ""]
    for f in forms:
        out.append(f"inline constexpr Control k{f.name}Controls[] = {{")
        for c in f.controls:
            x, y, w, h = c["rect"]
            out.append(
                f'    {{{c_string(c["name"])}, {c["id"]}, Kind::{c["kind"]}, {c_string(c["parent"])}, '
                f'{{{x}, {y}, {w}, {h}}}, {c_string(c["text"])}, '
                f'{str(c["enabled"]).lower()}, {str(c["visible"]).lower()}, '
                f'{str(c["checked"]).lower()}, {str(c["readOnly"]).lower()}, '
                f'{str(c["wordWrap"]).lower()}, {str(c["default"]).lower()}, '
                f'{str(c["alignRight"]).lower()}, {c["tab"]}}},')
        out.append("};")
        actions = f.actions or [{"name": None, "id": 0, "text": None, "enabled": False}]
        out.append(f"inline constexpr MenuItem k{f.name}Menu[] = {{")
        for a in actions:
            out.append(f'    {{{c_string(a["name"])}, {a["id"]}, {c_string(a["text"])}, '
                       f'{str(a["enabled"]).lower()}}},')
        out.append("};")
        bar = f.menu_bar or [None]
        out.append(f"inline constexpr const char* k{f.name}MenuBar[] = {{"
                   + ", ".join(c_string(n) for n in bar) + "};")
        columns = f.columns or [None]
        out.append(f"inline constexpr const char* k{f.name}Columns[] = {{"
                   + ", ".join(c_string(n) for n in columns) + "};")
        x, y, w, h = f.rect
        n_actions = len(f.actions)
        out.append(f"inline constexpr Form k{f.name}{{{c_string(f.name)}, {c_string(f.title)}, "
                   f"{{{x}, {y}, {w}, {h}}}, k{f.name}Controls, "
                   f"std::span(k{f.name}Menu, {n_actions}), "
                   f"std::span(k{f.name}MenuBar, {len(f.menu_bar)}), "
                   f"std::span(k{f.name}Columns, {len(f.columns)})}};")
        out.append("")
    out += ["}  // namespace cardpush::ui_layout", ""]
    return "\n".join(out)


def main():
    if len(sys.argv) < 4:
        sys.exit("usage: ui-layout.py OUT.h OUT-ids.txt FILE.ui...")
    forms = [Form(path) for path in sys.argv[3:]]
    text = header(forms)
    ids = []
    for f in forms:
        ids.append(f"{f.name}=0 " + " ".join(map(str, f.rect)))
        ids += [f"{f.name}.{c['name']}={c['id']} " + " ".join(map(str, c["rect"]))
                for c in f.controls]
        ids += [f"{f.name}.{a['name']}={a['id']}" for a in f.actions]
    for path, content in ((sys.argv[1], text), (sys.argv[2], "\n".join(ids) + "\n")):
        try:
            with open(path, encoding="utf-8") as old:
                if old.read() == content:
                    continue
        except OSError:
            pass
        with open(path, "w", encoding="utf-8", newline="\n") as new:
            new.write(content)


if __name__ == "__main__":
    main()
