#include "keypresseater.h"

#include "qpe.h"
#include "terminalhost.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QPlainTextEdit>

#include <cstring>

namespace {

constexpr int kFirstPrintable = 0x20;
constexpr int kLastPrintable = 0x7E;
constexpr char kBackspaceByte = 0x08;
constexpr char kEscapeByte = 0x1B;
constexpr char kCarriageReturnByte = 0x0D;

bool printable(int key)
{
    return key >= kFirstPrintable && key <= kLastPrintable;
}

} // namespace

KeyPressEater::KeyPressEater(TerminalHost *terminalOwner, QObject *parent)
    : QObject(parent)
    , owner(terminalOwner)
{
}

bool KeyPressEater::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    return handleKey(static_cast<QKeyEvent *>(event)->key());
}

// Returns true when the key is consumed, false to let the view have it.
bool KeyPressEater::handleKey(int key)
{
    // A full line takes no more characters: nothing sent, nothing shown.
    if (printable(key) && lineLength >= kMaxLineLength)
        return true;

    if (printable(key))
        sendByte(char(key));
    if (key == Qt::Key_Backspace)
        sendByte(kBackspaceByte);
    if (key == Qt::Key_Escape)
        sendByte(kEscapeByte);

    if (key == Qt::Key_F3 && lineLength == 0 && !lastCommand.isEmpty()) {
        recall(lastCommand, localEcho);
        return true;
    }
    if (key == Qt::Key_Up || key == Qt::Key_Down)
        return showHistoryMenu();
    if (key == Qt::Key_Return) {
        sendByte(kCarriageReturnByte);
        lineBuffer[lineLength] = '\0';
        lineLength = 0;
        lastCommand = QString::fromLatin1(lineBuffer);
        if (!commandHistory.contains(lastCommand))
            commandHistory.append(lastCommand);
        return true;
    }
    if (key == Qt::Key_Backspace) {
        if (lineLength == 0)
            return true; // earlier output is not the user's to delete
        --lineLength;
        return letViewEdit();
    }
    if (!printable(key))
        return true;

    lineBuffer[lineLength++] = char(key);
    return letViewEdit(); // the view shows the typed text itself
}

// A click may have put the view's cursor anywhere in earlier output; what
// is typed belongs at the end, where the board's next output goes too.
bool KeyPressEater::letViewEdit()
{
    owner->terminalView()->moveCursor(QTextCursor::End);
    return false;
}

void KeyPressEater::sendByte(char byte)
{
    const char text[2] = {byte, '\0'};
    owner->terminalLink()->write(text, false);
}

void KeyPressEater::recall(const QString &line, bool echo)
{
    const QByteArray bytes = line.toLatin1().left(kMaxLineLength);
    std::memcpy(lineBuffer, bytes.constData(), size_t(bytes.size()));
    lineBuffer[bytes.size()] = '\0';
    if (echo)
        owner->terminalOutput(lineBuffer);
    for (const char *p = lineBuffer; *p; ++p)
        sendByte(*p);
    lineLength = int(std::strlen(lineBuffer));
}

bool KeyPressEater::showHistoryMenu()
{
    if (commandHistory.isEmpty())
        return false; // the view moves its cursor
    QWidget *window = owner->terminalWindow();
    QMenu menu(QStringLiteral("LAST COMMANDS"), window);
    for (const QString &entry : qAsConst(commandHistory))
        menu.addAction(entry);
    const QPoint corner = window->mapToGlobal(owner->terminalView()->cursorRect().topLeft());
    QAction *chosen = menu.exec(corner);
    if (!chosen)
        return false;
    lastCommand = chosen->text();
    recall(lastCommand, true);
    return true;
}
