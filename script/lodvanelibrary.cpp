// "lodvane.h": the functions a script calls to build its pages of widgets,
// poll the push buttons, keep the window alive, save its values and talk to
// the board. Every function reaches the window through the running session.
#include "scriptsession.h"

#include "native.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>

namespace {

constexpr int kRgbFields = 3;
constexpr int kColourMax = 255;
constexpr int kIdleWaitMs = 5;   // the longest a button poll waits for an event

ScriptSession &session()
{
    return *scriptSession;
}

// Lets the window's events in, waiting a few milliseconds for one when none
// is pending, so that a script looping on its buttons does not keep a core
// busy. A stop the user asked for meanwhile ends the run here.
void idle(ParseCursor *cursor)
{
    QTimer bound;
    bound.setSingleShot(true);
    bound.start(kIdleWaitMs);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (session().stopRequested)
        engineExit(cursor->engine, 0);
}

// A char * argument as text: UTF-8 up to its NUL, which must lie inside
// live storage; a null pointer is an empty text.
QString textArg(ParseCursor *cursor, ScriptValue *arg)
{
    const auto *text = static_cast<const char *>(arg->data->ptr);
    if (!text)
        return QString();
    return QString::fromUtf8(text, int(storageStringLength(cursor, text)));
}

QByteArray bytesArg(ParseCursor *cursor, ScriptValue *arg)
{
    const auto *text = static_cast<const char *>(arg->data->ptr);
    if (!text)
        return QByteArray();
    return QByteArray(text, int(storageStringLength(cursor, text)));
}

int intArg(ScriptValue *arg)
{
    return coerceInteger(arg);
}

// Hands bytes to the script as a char * into a library-owned buffer: the new
// buffer is readable for the script's checked accesses, the old one no longer.
void returnBuffer(ParseCursor *cursor, ScriptValue *result, const QByteArray &bytes, std::vector<char> &buffer)
{
    EngineState *state = cursor->engine;
    if (!buffer.empty())
        storageRemove(state, buffer.data());
    buffer.assign(bytes.constData(), bytes.constData() + bytes.size());
    buffer.push_back('\0');
    storageAdd(state, buffer.data(), buffer.size(), true);
    result->data->ptr = buffer.data();
}

QTableWidget *pageTable(ParseCursor *cursor, ScriptValue *name)
{
    const int index = session().pageIndex(textArg(cursor, name));
    if (index < 0 || index >= session().pageTables.size())
        parserError(cursor, "Wrong page identifier");
    return session().pageTables.at(index);
}

QWidget *handleWidget(ParseCursor *cursor, ScriptValue *handle, WidgetHandles::Kind kind)
{
    QWidget *widget = session().handles.widget(intArg(handle), kind);
    if (!widget)
        parserError(cursor, "invalid widget handle");
    return widget;
}

QSpinBox *spinBox(ParseCursor *cursor, ScriptValue *handle)
{
    return static_cast<QSpinBox *>(handleWidget(cursor, handle, WidgetHandles::SpinBox));
}

int buttonIndex(ParseCursor *cursor, ScriptValue *arg)
{
    const auto n = static_cast<unsigned>(intArg(arg));
    if (n >= unsigned(ScriptSession::kButtons))
        parserError(cursor, "PUSHBUTTON selection out of range");
    return int(n);
}

QColor colourSpec(ParseCursor *cursor, ScriptValue *arg)
{
    const QList<QByteArray> fields = bytesArg(cursor, arg).split(',');
    if (fields.size() == 1)
        return session().window->colourByName(QString::fromUtf8(fields[0].trimmed()));
    if (fields.size() != kRgbFields)
        parserError(cursor, "Invalid number of fields in RGB specifications");
    int rgb[kRgbFields];
    for (int i = 0; i < kRgbFields; ++i) {
        bool ok = false;
        rgb[i] = fields[i].trimmed().toInt(&ok);
        if (!ok)
            rgb[i] = 0;
        if (rgb[i] < 0 || rgb[i] > kColourMax)
            return QColor();
    }
    return QColor(rgb[0], rgb[1], rgb[2], kColourMax);
}

void newWidget(ScriptValue *result, QWidget *widget, WidgetHandles::Kind kind, const char *name,
               const QString &toolTip)
{
    widget->setToolTip(toolTip);
    widget->setAccessibleName(QString::fromLatin1(name));
    result->data->i = session().handles.addWidget(widget, kind);
}

// --- pages and cells ---

void GridNew(ParseCursor *cursor, ScriptValue *result, ScriptValue **args, int32_t)
{
    const QStringList names = textArg(cursor, args[0]).split(QLatin1Char(','));
    session().buildPages(names);
    result->data->i = names.size();
}

void GridSize(ParseCursor *cursor, ScriptValue *, ScriptValue **args, int32_t)
{
    QTableWidget *table = pageTable(cursor, args[0]);
    table->setRowCount(qMax(0, intArg(args[1])));
    table->setColumnCount(qMax(0, intArg(args[2])));
}

void setHeader(QTableWidget *table, bool column, int index, const QString &text)
{
    if (index < 0 || index >= (column ? table->columnCount() : table->rowCount()))
        return;
    QTableWidgetItem *item = column ? table->horizontalHeaderItem(index) : table->verticalHeaderItem(index);
    if (item) {
        item->setText(text);
    } else if (column) {
        table->setHorizontalHeaderItem(index, new QTableWidgetItem(text));
    } else {
        table->setVerticalHeaderItem(index, new QTableWidgetItem(text));
    }
}

void GridColHeader(ParseCursor *cursor, ScriptValue *, ScriptValue **args, int32_t)
{
    setHeader(pageTable(cursor, args[0]), true, intArg(args[1]), textArg(cursor, args[2]));
}

void GridRowHeader(ParseCursor *cursor, ScriptValue *, ScriptValue **args, int32_t)
{
    setHeader(pageTable(cursor, args[0]), false, intArg(args[1]), textArg(cursor, args[2]));
}

void GridColHeaderClear(ParseCursor *cursor, ScriptValue *, ScriptValue **args, int32_t)
{
    QTableWidget *table = pageTable(cursor, args[0]);
    for (int c = 0; c < table->columnCount(); ++c)
        setHeader(table, true, c, QString());
}

void GridRowHeaderClear(ParseCursor *cursor, ScriptValue *, ScriptValue **args, int32_t)
{
    QTableWidget *table = pageTable(cursor, args[0]);
    for (int r = 0; r < table->rowCount(); ++r)
        setHeader(table, false, r, QString());
}

void GridShowGrid(ParseCursor *cursor, ScriptValue *, ScriptValue **args, int32_t)
{
    pageTable(cursor, args[0])->setShowGrid(intArg(args[1]) != 0);
}

void GridSetText(ParseCursor *cursor, ScriptValue *, ScriptValue **args, int32_t)
{
    QTableWidgetItem *item = session().handles.textCell(intArg(args[0]));
    if (!item)
        parserError(cursor, "invalid widget handle");
    item->setText(textArg(cursor, args[1]));
}

void GridForeground(ParseCursor *cursor, ScriptValue *, ScriptValue **args, int32_t)
{
    session().textForeground = colourSpec(cursor, args[0]);
}

void GridBackground(ParseCursor *cursor, ScriptValue *, ScriptValue **args, int32_t)
{
    session().textBackground = colourSpec(cursor, args[0]);
}

void GridAddWidget(ParseCursor *cursor, ScriptValue *, ScriptValue **args, int32_t)
{
    QTableWidget *table = pageTable(cursor, args[0]);
    const int row = intArg(args[1]);
    const int column = intArg(args[2]);
    QWidget *widget = session().handles.anyWidget(intArg(args[3]));
    if (!widget)
        parserError(cursor, "invalid widget handle");
    StateRecord record;
    record.kind = widget->accessibleName();
    record.toolTip = widget->toolTip();
    record.row = row;
    record.column = column;
    record.page = session().pageTables.indexOf(table);
    // A cell outside the table takes no widget (the table would refuse it
    // and the widget would stay unowned); the record is kept all the same.
    if (row >= 0 && row < table->rowCount() && column >= 0 && column < table->columnCount()) {
        // The table deletes the widget it replaces only later; its handles
        // stop working now.
        QWidget *old = table->cellWidget(row, column);
        if (old && old != widget)
            session().handles.forget(old);
        table->setCellWidget(row, column, widget);
    }
    session().stateRecords.append(record);
}

void GridAddText(ParseCursor *cursor, ScriptValue *result, ScriptValue **args, int32_t)
{
    QTableWidget *table = pageTable(cursor, args[0]);
    const int row = intArg(args[1]);
    const int column = intArg(args[2]);
    auto *item = new QTableWidgetItem(textArg(cursor, args[3]));
    item->setFlags(Qt::NoItemFlags);
    item->setForeground(QBrush(session().textForeground));
    item->setBackground(QBrush(session().textBackground));
    if (row < 0 || row >= table->rowCount() || column < 0 || column >= table->columnCount()) {
        delete item; // the table would not take it
        result->data->i = 0;
        return;
    }
    table->setItem(row, column, item);
    result->data->i = session().handles.addTextCell(table, row, column, item);
}

// --- widgets ---

void ComboBox(ParseCursor *cursor, ScriptValue *result, ScriptValue **args, int32_t)
{
    auto *box = new QComboBox;
    for (const QString &item : textArg(cursor, args[0]).split(QLatin1Char(',')))
        box->addItem(item.trimmed());
    box->setCurrentIndex(intArg(args[1]));
    newWidget(result, box, WidgetHandles::ComboBox, "COMBOBOX", textArg(cursor, args[2]));
}

void ComboBoxValue(ParseCursor *cursor, ScriptValue *result, ScriptValue **args, int32_t)
{
    result->data->i = static_cast<QComboBox *>(handleWidget(cursor, args[0], WidgetHandles::ComboBox))->currentIndex();
}

void SpinBox(ParseCursor *cursor, ScriptValue *result, ScriptValue **args, int32_t)
{
    auto *box = new QSpinBox;
    box->setMinimum(intArg(args[0]));
    box->setMaximum(intArg(args[1]));
    box->setValue(intArg(args[2]));
    newWidget(result, box, WidgetHandles::SpinBox, "SPINBOX", textArg(cursor, args[3]));
}

void SpinBoxValue(ParseCursor *cursor, ScriptValue *result, ScriptValue **args, int32_t)
{
    result->data->i = spinBox(cursor, args[0])->value();
}

void SpinBoxSetValue(ParseCursor *cursor, ScriptValue *, ScriptValue **args, int32_t)
{
    spinBox(cursor, args[0])->setValue(intArg(args[1]));
}

void SpinBoxStep(ParseCursor *cursor, ScriptValue *, ScriptValue **args, int32_t)
{
    spinBox(cursor, args[0])->setSingleStep(intArg(args[1]));
}

void SpinBoxSuffix(ParseCursor *cursor, ScriptValue *, ScriptValue **args, int32_t)
{
    spinBox(cursor, args[0])->setSuffix(textArg(cursor, args[1]));
}

void SpinBoxPrefix(ParseCursor *cursor, ScriptValue *, ScriptValue **args, int32_t)
{
    spinBox(cursor, args[0])->setPrefix(textArg(cursor, args[1]));
}

void CheckBox(ParseCursor *cursor, ScriptValue *result, ScriptValue **args, int32_t)
{
    auto *box = new QCheckBox(textArg(cursor, args[0]));
    box->setChecked(intArg(args[1]) != 0);
    newWidget(result, box, WidgetHandles::CheckBox, "CHECKBOX", textArg(cursor, args[2]));
}

void CheckBoxValue(ParseCursor *cursor, ScriptValue *result, ScriptValue **args, int32_t)
{
    result->data->i = static_cast<QCheckBox *>(handleWidget(cursor, args[0], WidgetHandles::CheckBox))->isChecked() ? 1 : 0;
}

void LineEdit(ParseCursor *cursor, ScriptValue *result, ScriptValue **args, int32_t)
{
    auto *edit = new QLineEdit(textArg(cursor, args[0]));
    newWidget(result, edit, WidgetHandles::LineEdit, "LINEEDIT", textArg(cursor, args[1]));
}

void LineEditValue(ParseCursor *cursor, ScriptValue *result, ScriptValue **args, int32_t)
{
    auto *edit = static_cast<QLineEdit *>(handleWidget(cursor, args[0], WidgetHandles::LineEdit));
    returnBuffer(cursor, result, edit->text().toLatin1(), session().lineEditBuffer);
}

// --- window, buttons, state ---

void LodvaneSetPage(ParseCursor *, ScriptValue *, ScriptValue **args, int32_t)
{
    session().window->setPage(intArg(args[0]));
}

void LodvaneProcessEvents(ParseCursor *cursor, ScriptValue *, ScriptValue **, int32_t)
{
    idle(cursor);
}

void LodvaneSetButton(ParseCursor *cursor, ScriptValue *, ScriptValue **args, int32_t)
{
    session().window->setPushButton(intArg(args[0]), textArg(cursor, args[1]));
}

void LodvaneButtonAction(ParseCursor *cursor, ScriptValue *result, ScriptValue **args, int32_t)
{
    const int index = buttonIndex(cursor, args[0]);
    if (!session().buttonAction[index])
        idle(cursor); // a click may be on its way
    result->data->i = session().buttonAction[index];
}

void LodvaneButtonClearAction(ParseCursor *cursor, ScriptValue *, ScriptValue **args, int32_t)
{
    session().buttonAction[buttonIndex(cursor, args[0])] = 0;
}

void LodvaneSaveState(ParseCursor *, ScriptValue *, ScriptValue **, int32_t)
{
    StateFile::save(session().scriptPath, session().stateRecords, session().pageTables);
}

void LodvaneLoadState(ParseCursor *, ScriptValue *, ScriptValue **, int32_t)
{
    StateFile::load(session().scriptPath, session().pageTables);
}

// --- serial port ---

void LodvaneOpenPort(ParseCursor *, ScriptValue *result, ScriptValue **, int32_t)
{
    result->data->i = session().window->openSelectedPort() ? 1 : 0;
}

void LodvaneBytesAvailable(ParseCursor *, ScriptValue *result, ScriptValue **, int32_t)
{
    result->data->u = static_cast<uint32_t>(session().window->portBytesAvailable());
}

void LodvaneWritePort(ParseCursor *cursor, ScriptValue *result, ScriptValue **args, int32_t)
{
    const unsigned accepted = session().window->portWrite(bytesArg(cursor, args[0]));
    // No port: nothing was accepted.
    result->data->u = accepted == 0xFFFFFFFFu ? 0 : accepted;
}

void LodvaneReadPort(ParseCursor *cursor, ScriptValue *result, ScriptValue **args, int32_t)
{
    const QByteArray &bytes = session().window->takeFromPort(static_cast<unsigned>(intArg(args[0])));
    returnBuffer(cursor, result, bytes, session().portReadBuffer);
}

void LodvaneReadAll(ParseCursor *cursor, ScriptValue *result, ScriptValue **, int32_t)
{
    returnBuffer(cursor, result, session().window->takeAllFromPort(), session().portReadBuffer);
}

void LodvaneClosePort(ParseCursor *, ScriptValue *, ScriptValue **, int32_t)
{
    session().window->closePort();
}

} // namespace

// Registered in this order, prototypes exactly as scripts see them.
const LibraryEntry lodvaneLibrary[] = {
    {GridNew, "int GridNew(char *);"},
    {GridSize, "void GridSize(char *, int, int);"},
    {GridColHeader, "void GridColHeader(char *, int, char *);"},
    {GridRowHeader, "void GridRowHeader(char *, int, char *);"},
    {GridColHeaderClear, "void GridColHeaderClear(char *);"},
    {GridRowHeaderClear, "void GridRowHeaderClear(char *);"},
    {GridShowGrid, "void GridShowGrid(char *, int);"},
    {GridSetText, "void GridSetText(int, char *);"},
    {GridForeground, "void GridForeground(char *);"},
    {GridBackground, "void GridBackground(char *);"},
    {GridAddWidget, "int GridAddWidget(char *, int, int, int);"},
    {GridAddText, "int GridAddText(char *, int, int, char *);"},
    {ComboBox, "int ComboBox(char *, int, char *);"},
    {ComboBoxValue, "int ComboBoxValue(int);"},
    {SpinBox, "int SpinBox(int, int, int, char *);"},
    {SpinBoxValue, "int SpinBoxValue(int);"},
    {SpinBoxSetValue, "void SpinBoxSetValue(int, int);"},
    {SpinBoxStep, "void SpinBoxStep(int, int);"},
    {SpinBoxSuffix, "void SpinBoxSuffix(int, char *);"},
    {SpinBoxPrefix, "void SpinBoxPrefix(int, char *);"},
    {CheckBox, "int CheckBox(char *, int, char *);"},
    {CheckBoxValue, "int CheckBoxValue(int);"},
    {LineEdit, "int LineEdit(char *, char *);"},
    {LineEditValue, "char * LineEditValue(int);"},
    {LodvaneSetPage, "void LodvaneSetPage(int);"},
    {LodvaneProcessEvents, "void LodvaneProcessEvents();"},
    {LodvaneSetButton, "void LodvaneSetButton(int, char *);"},
    {LodvaneButtonAction, "int LodvaneButtonAction(int);"},
    {LodvaneButtonClearAction, "int LodvaneButtonClearAction(int);"},
    {LodvaneSaveState, "void LodvaneSaveState();"},
    {LodvaneLoadState, "void LodvaneLoadState();"},
    {LodvaneOpenPort, "int LodvaneOpenPort();"},
    {LodvaneBytesAvailable, "unsigned LodvaneBytesAvailable();"},
    {LodvaneWritePort, "unsigned LodvaneWritePort(char *);"},
    {LodvaneReadPort, "char * LodvaneReadPort(unsigned);"},
    {LodvaneReadAll, "char * LodvaneReadAll();"},
    {LodvaneClosePort, "void LodvaneClosePort();"},
    {nullptr, nullptr},
};
