#pragma once

#include <QPointer>
#include <QVector>

class QTableWidget;
class QTableWidgetItem;
class QWidget;

// The ints a script holds for the widgets and text cells it created. Each
// names an entry of a per-run table; an entry whose widget or cell has gone
// (replaced in its cell, pages rebuilt) no longer resolves, so a stale
// handle is caught instead of touching freed memory.
class WidgetHandles
{
public:
    enum Kind { ComboBox, SpinBox, CheckBox, LineEdit, TextCell };

    WidgetHandles() = default;
    // The last run's widgets that were never placed have no other owner.
    ~WidgetHandles() { clear(); }
    WidgetHandles(const WidgetHandles &) = delete;
    WidgetHandles &operator=(const WidgetHandles &) = delete;

    int addWidget(QWidget *widget, Kind kind);
    int addTextCell(QTableWidget *table, int row, int column, QTableWidgetItem *item);

    // The live widget of that kind, or null.
    QWidget *widget(int handle, Kind kind) const;
    // Any live widget (for placing it), or null.
    QWidget *anyWidget(int handle) const;
    // The text cell's item while it still sits in its cell, or null.
    QTableWidgetItem *textCell(int handle) const;

    // The widget is on its way out (replaced in its cell, deleted later by
    // the table): its handles no longer resolve.
    void forget(const QWidget *widget);

    // Forgets every handle; widgets that were never placed are deleted.
    void clear();

private:
    struct Entry
    {
        Kind kind;
        QPointer<QWidget> widget;      // widgets
        QPointer<QTableWidget> table;  // text cells: the table, the item and its serial
        QTableWidgetItem *item = nullptr;
        int row = 0;
        int column = 0;
        int serial = 0;
    };
    const Entry *entry(int handle) const;

    QVector<Entry> entries;
    int nextSerial = 1;
};
