#include "app/qt/list_box.h"

#include <QEvent>
#include <QListWidget>
#include <QMenu>
#include <utility>

namespace cardpush {
namespace {

constexpr int kIndexRole = Qt::UserRole;

class DoubleClickFilter : public QObject {
public:
    DoubleClickFilter(QObject* parent, std::function<void()> handler)
        : QObject(parent), handler_(std::move(handler))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonDblClick) {
            handler_();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> handler_;
};

}  // namespace

void OnDoubleClick(QListWidget* list, std::function<void()> handler)
{
    list->viewport()->installEventFilter(new DoubleClickFilter(list, std::move(handler)));
}

void AttachPopup(QListWidget* list, const char* name, std::initializer_list<QAction*> items)
{
    auto* menu = new QMenu(list->window());
    menu->setObjectName(name);
    for (QAction* item : items) {
        menu->addAction(item);
    }
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(list, &QWidget::customContextMenuRequested, menu,
                     [list, menu](QPoint at) { menu->popup(list->viewport()->mapToGlobal(at)); });
}

QListWidgetItem* IndexedItem(const QString& text, int index)
{
    auto* item = new QListWidgetItem(text);
    item->setData(kIndexRole, index);
    return item;
}

std::optional<int> SelectedIndex(const QListWidget* list)
{
    const QList<QListWidgetItem*> selected = list->selectedItems();
    if (selected.isEmpty()) {
        return std::nullopt;
    }
    return selected.front()->data(kIndexRole).toInt();
}

}  // namespace cardpush
