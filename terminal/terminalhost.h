#pragma once

class QPE;
class QPlainTextEdit;
class QWidget;

// What the terminal's parts need of the window that holds the terminal page.
class TerminalHost
{
public:
    virtual ~TerminalHost() = default;

    virtual QPE *terminalLink() = 0;
    virtual QPlainTextEdit *terminalView() = 0;
    virtual QWidget *terminalWindow() = 0;
    // Shows a NUL-terminated byte string in the view and copies it to the log.
    virtual void terminalOutput(const char *text) = 0;
};
