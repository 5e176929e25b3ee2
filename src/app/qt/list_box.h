// What the main window's two list boxes need beyond Qt's list widget: a
// double click anywhere in them (on an item or not), a popup menu of the
// layout's items, and the item the operator selected, by its place in what
// the session listed.
//
// GUI thread only.
#pragma once

#include <functional>
#include <initializer_list>
#include <optional>

class QAction;
class QListWidget;
class QListWidgetItem;
class QString;

namespace cardpush {

// handler runs for every double click in list's area.
void OnDoubleClick(QListWidget* list, std::function<void()> handler);

// A popup menu named name (the layout can't hold one) of items, on list.
void AttachPopup(QListWidget* list, const char* name, std::initializer_list<QAction*> items);

// An item showing text, standing for the index-th entry of what was listed.
QListWidgetItem* IndexedItem(const QString& text, int index);
// The index of list's selected item; nothing when none is selected.
std::optional<int> SelectedIndex(const QListWidget* list);

}  // namespace cardpush
