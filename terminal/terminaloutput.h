#pragma once

#include <cstdio>
#include <memory>

class QPlainTextEdit;

// First byte of a chunk that carries markup instead of plain text.
constexpr unsigned char kHtmlChunkMarker = 0xBB;

// The terminal's log file: a C stdio handle that closes itself, so that
// resetting it is the one way a log file is closed.
struct LogFileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using LogFile = std::unique_ptr<std::FILE, LogFileCloser>;

// Shows `text` (up to its first zero byte) in `view` and copies its bytes to
// `logFile` when one is open. A carriage return not followed by a line feed
// makes the next plain output replace the view's last line.
void showTerminalOutput(QPlainTextEdit *view, std::FILE *logFile, const char *text);

// Whether the last plain output left a carriage return pending.
bool terminalCarriageReturnPending();
void resetTerminalCarriageReturn();
