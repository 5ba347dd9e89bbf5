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

// Within one chunk a carriage return erases nothing yet: its text stays on
// the line and only the next output replaces that line. So the chunk shows
// as its text without carriage returns, inserted in one go.
void showPlain(QPlainTextEdit *view, const char *text)
{
    if (carriageReturnPending) {
        eraseLastLine(view);
        carriageReturnPending = false;
    }
    QByteArray shown;
    int newLines = 0;
    for (const char *p = text; *p; ++p) {
        if (*p == kCarriageReturn) {
            carriageReturnPending = true;
            continue;
        }
        if (*p == kLineFeed) {
            carriageReturnPending = false;
            ++newLines;
        }
        shown += *p;
    }
    if (shown.isEmpty())
        return;

    // A burst longer than the view keeps pushes everything before its last
    // lines out again at once; leave those out instead of laying them out.
    const int kept = view->maximumBlockCount();
    if (kept > 0 && newLines >= kept) {
        int skip = newLines - kept + 1;
        int at = -1;
        while (skip-- > 0)
            at = shown.indexOf(kLineFeed, at + 1);
        shown.remove(0, at + 1);
        view->clear();
    }
    view->insertPlainText(QString::fromLatin1(shown));
}

} // namespace

void showTerminalOutput(QPlainTextEdit *view, std::FILE *logFile, const char *text)
{
    const size_t length = std::strlen(text);
    // Flushed at once, so that a log can be followed while it grows.
    if (logFile) {
        std::fwrite(text, 1, length, logFile);
        std::fflush(logFile);
    }

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
