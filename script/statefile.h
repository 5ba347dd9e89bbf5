#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

class QTableWidget;
class QWidget;

// A widget a script placed in a page cell, as GridAddWidget saw it.
struct StateRecord
{
    QString kind;     // "SPINBOX", "COMBOBOX", "CHECKBOX" or "LINEEDIT"
    QString toolTip;
    int row = 0;
    int column = 0;
    int page = 0;     // index into the script's pages
};

// The block of comment lines at the top of a script file that keeps its
// widgets' values between runs.
namespace StateFile {

constexpr const char *kInfoPrefix = "//#STATE.INFO:";
constexpr const char *kDataPrefix = "//#STATE.DATA:";
constexpr const char *kTimestampFormat = "yyyy/MM/dd - hh:mm:ss";

// The file's content without a leading state block and the empty line after
// it. A block cut short (no line feed) goes entirely; CR LF ends are taken
// as line ends too.
QByteArray withoutBlock(const QByteArray &content);

// The three information lines and one data line per value line given.
QByteArray block(const QDateTime &when, const QList<QByteArray> &dataLines);

// "//#STATE.DATA: page,row,column,kind,value,toolTip\n"
QByteArray dataLine(const StateRecord &record, const QString &value, const QString &toolTip);

// The value of a widget of the recorded kind, empty for a widget of another
// kind or none; "ND" for a kind that is none of the four.
QString widgetValue(const QString &kind, QWidget *widget);

// One data line applied to the widgets of `pages`; false when it was skipped.
bool applyDataLine(const QByteArray &line, const QList<QTableWidget *> &pages);

// The data lines of the leading state block, up to the first other line.
QList<QByteArray> leadingDataLines(const QByteArray &content);

// Rewrites `path` with a fresh block for `records`; the old file stays whole
// unless the new one was written completely. False when nothing was written.
bool save(const QString &path, const QList<StateRecord> &records, const QList<QTableWidget *> &pages);
// Applies the file's block to the widgets now in the named cells.
void load(const QString &path, const QList<QTableWidget *> &pages);

} // namespace StateFile
