#include "statefile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QSaveFile>
#include <QSpinBox>
#include <QTableWidget>

namespace StateFile {

namespace {

constexpr char kLineFeed = '\n';
constexpr char kCarriageReturn = '\r';
constexpr int kMinimumFields = 5;

// Drops the first line (and its line end); a line without one goes whole.
void dropLine(QByteArray &content)
{
    const int end = content.indexOf(kLineFeed);
    content = end < 0 ? QByteArray() : content.mid(end + 1);
}

// Decimal with blanks around it; anything else counts as 0.
int fieldNumber(const QByteArray &field)
{
    bool ok = false;
    const int value = field.trimmed().toInt(&ok);
    return ok ? value : 0;
}

QWidget *cellWidget(const QList<QTableWidget *> &pages, int page, int row, int column)
{
    if (page < 0 || page >= pages.size() || !pages.at(page))
        return nullptr;
    QTableWidget *table = pages.at(page);
    if (row < 0 || row >= table->rowCount() || column < 0 || column >= table->columnCount())
        return nullptr;
    return table->cellWidget(row, column);
}

} // namespace

QByteArray withoutBlock(const QByteArray &content)
{
    QByteArray rest = content;
    while (rest.startsWith(kInfoPrefix))
        dropLine(rest);
    while (rest.startsWith(kDataPrefix))
        dropLine(rest);
    if (rest.startsWith(kLineFeed))
        rest.remove(0, 1);
    else if (rest.startsWith("\r\n"))
        rest.remove(0, 2);
    return rest;
}

QByteArray block(const QDateTime &when, const QList<QByteArray> &dataLines)
{
    QByteArray text;
    text += "//#STATE.INFO: Warning don't modify STATE info, these lines are\n";
    text += "//#STATE.INFO:     automatically over-written by LodvaneSaveState function\n";
    text += "//#STATE.INFO: Last modified @ " + when.toString(QLatin1String(kTimestampFormat)).toUtf8() + "\n";
    for (const QByteArray &line : dataLines)
        text += line;
    return text;
}

QByteArray dataLine(const StateRecord &record, const QString &value, const QString &toolTip)
{
    return QStringLiteral("//#STATE.DATA: %1,%2,%3,%4,%5,%6\n")
        .arg(record.page)
        .arg(record.row)
        .arg(record.column)
        .arg(record.kind, value, toolTip)
        .toUtf8();
}

QString widgetValue(const QString &kind, QWidget *widget)
{
    if (kind == QLatin1String("SPINBOX")) {
        auto *box = qobject_cast<QSpinBox *>(widget);
        return box ? QString::number(box->value()) : QString();
    }
    if (kind == QLatin1String("COMBOBOX")) {
        auto *box = qobject_cast<QComboBox *>(widget);
        return box ? QString::number(box->currentIndex()) : QString();
    }
    if (kind == QLatin1String("CHECKBOX")) {
        auto *box = qobject_cast<QCheckBox *>(widget);
        return box ? QString::number(box->isChecked() ? 1 : 0) : QString();
    }
    if (kind == QLatin1String("LINEEDIT")) {
        auto *edit = qobject_cast<QLineEdit *>(widget);
        return edit ? edit->text() : QString();
    }
    return widget ? QStringLiteral("ND") : QString();
}

bool applyDataLine(const QByteArray &line, const QList<QTableWidget *> &pages)
{
    const QByteArray body = line.trimmed().mid(int(qstrlen(kDataPrefix)));
    const QList<QByteArray> fields = body.split(',');
    if (fields.size() < kMinimumFields)
        return false;
    QWidget *widget = cellWidget(pages, fieldNumber(fields[0]), fieldNumber(fields[1]), fieldNumber(fields[2]));
    if (!widget)
        return false;
    const QByteArray kind = fields[3].trimmed();
    const QByteArray value = fields[4];
    if (kind == "SPINBOX") {
        if (auto *box = qobject_cast<QSpinBox *>(widget)) {
            box->setValue(fieldNumber(value));
            return true;
        }
    } else if (kind == "COMBOBOX") {
        if (auto *box = qobject_cast<QComboBox *>(widget)) {
            box->setCurrentIndex(fieldNumber(value));
            return true;
        }
    } else if (kind == "CHECKBOX") {
        if (auto *box = qobject_cast<QCheckBox *>(widget)) {
            box->setChecked(fieldNumber(value) != 0);
            return true;
        }
    } else if (kind == "LINEEDIT") {
        if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
            edit->setText(QString::fromUtf8(value));
            return true;
        }
    }
    return false;
}

QList<QByteArray> leadingDataLines(const QByteArray &content)
{
    QList<QByteArray> lines;
    for (QByteArray line : content.split(kLineFeed)) {
        if (line.endsWith(kCarriageReturn))
            line.chop(1);
        if (line.startsWith(kInfoPrefix))
            continue;
        if (!line.startsWith(kDataPrefix))
            break;
        lines.append(line);
    }
    return lines;
}

bool save(const QString &path, const QList<StateRecord> &records, const QList<QTableWidget *> &pages)
{
    // Raw bytes both ways: the script's own line ends are kept as they are.
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const QByteArray rest = withoutBlock(in.readAll());
    in.close();

    QList<QByteArray> lines;
    for (const StateRecord &record : records) {
        QWidget *widget = cellWidget(pages, record.page, record.row, record.column);
        lines.append(dataLine(record, widgetValue(record.kind, widget), widget ? widget->toolTip() : QString()));
    }
    // The new content goes to a temporary file renamed into place at the end:
    // the user's script is never left half-written.
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    const QByteArray content = block(QDateTime::currentDateTime(), lines) + "\n" + rest;
    // A short write (a full disk) must not be committed as the new script.
    if (out.write(content) != content.size()) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

void load(const QString &path, const QList<QTableWidget *> &pages)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return;
    for (const QByteArray &line : leadingDataLines(in.readAll()))
        applyDataLine(line, pages);
}

} // namespace StateFile
