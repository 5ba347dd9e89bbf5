#include "terminaloutput.h"

#include <QPlainTextEdit>
#include <QTextCursor>

#include <cstring>

namespace {

// One flag for the whole process: the board's line erasure spans calls.
bool carriageReturnPending = false;

constexpr char kCarriageReturn = '\r';
constexpr char kLineFeed = '\n';

void eraseLastLine(QPlainTextEdit *view)
{
    QTextCursor cursor = view->textCursor();
    cursor.movePosition(QTextCursor::Down);
    cursor.select(QTextCursor::LineUnderCursor);
    cursor.removeSelectedText();
    view->setTextCursor(cursor);
}

void showPlain(QPlainTextEdit *view, const char *text)
{
    if (carriageReturnPending) {
        eraseLastLine(view);
        carriageReturnPending = false;
    }
    QString pending;
    for (const char *p = text; *p; ++p) {
        if (*p == kCarriageReturn) {
            view->insertPlainText(pending);
            carriageReturnPending = true;
            pending.clear();
            continue;
        }
        if (*p == kLineFeed)
            carriageReturnPending = false;
        pending += QChar::fromLatin1(*p);
    }
    if (!pending.isEmpty())
        view->insertPlainText(pending);
}

} // namespace

void showTerminalOutput(QPlainTextEdit *view, std::FILE *logFile, const char *text)
{
    const size_t length = std::strlen(text);
    if (logFile)
        std::fwrite(text, 1, length, logFile);

    view->moveCursor(QTextCursor::End);
    if (static_cast<unsigned char>(text[0]) == kHtmlChunkMarker) {
        QString markup = QString::fromLatin1(text + 1, int(length - 1));
        markup.replace(QLatin1String("\n"), QLatin1String("<br>"));
        view->appendHtml(markup);
    } else {
        showPlain(view, text);
    }
    view->ensureCursorVisible();
}

bool terminalCarriageReturnPending()
{
    return carriageReturnPending;
}

void resetTerminalCarriageReturn()
{
    carriageReturnPending = false;
}
