#include "widgethandles.h"

#include <QTableWidget>

namespace {

// Where a text cell carries its serial: a deleted item's address may be
// reused by a new one, the serial tells them apart.
constexpr int kSerialRole = Qt::UserRole + 1;

} // namespace

int WidgetHandles::addWidget(QWidget *widget, Kind kind)
{
    Entry e;
    e.kind = kind;
    e.widget = widget;
    entries.append(e);
    return entries.size(); // handles start at 1; 0 names nothing
}

int WidgetHandles::addTextCell(QTableWidget *table, int row, int column, QTableWidgetItem *item)
{
    Entry e;
    e.kind = TextCell;
    e.table = table;
    e.item = item;
    e.row = row;
    e.column = column;
    e.serial = nextSerial++;
    item->setData(kSerialRole, e.serial);
    entries.append(e);
    return entries.size();
}

const WidgetHandles::Entry *WidgetHandles::entry(int handle) const
{
    if (handle < 1 || handle > entries.size())
        return nullptr;
    return &entries.at(handle - 1);
}

QWidget *WidgetHandles::widget(int handle, Kind kind) const
{
    const Entry *e = entry(handle);
    return e && e->kind == kind ? e->widget.data() : nullptr;
}

QWidget *WidgetHandles::anyWidget(int handle) const
{
    const Entry *e = entry(handle);
    return e && e->kind != TextCell ? e->widget.data() : nullptr;
}

QTableWidgetItem *WidgetHandles::textCell(int handle) const
{
    const Entry *e = entry(handle);
    if (!e || e->kind != TextCell || !e->table)
        return nullptr;
    // Only an item still held by its table in its cell is alive; ask the
    // table rather than touch the remembered pointer.
    QTableWidgetItem *item = e->table->item(e->row, e->column);
    return item && item == e->item && item->data(kSerialRole).toInt() == e->serial ? item : nullptr;
}

void WidgetHandles::clear()
{
    for (const Entry &e : qAsConst(entries)) {
        if (e.widget && !e.widget->parent())
            delete e.widget.data();
    }
    entries.clear();
}
