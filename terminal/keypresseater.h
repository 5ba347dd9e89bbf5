#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class TerminalHost;
class QKeyEvent;

// Event filter on the terminal view: every key press becomes bytes on the
// port at once, and the line being typed is remembered for recall.
class KeyPressEater : public QObject
{
    Q_OBJECT

public:
    static constexpr int kLineBufferSize = 4096;
    // Longest line kept; the last byte of the buffer holds the terminating NUL.
    static constexpr int kMaxLineLength = kLineBufferSize - 1;

    KeyPressEater(TerminalHost *owner, QObject *parent);

    TerminalHost *owner;
    bool localEcho = true;
    char lineBuffer[kLineBufferSize] = {};
    int lineLength = 0;
    QString lastCommand;
    QStringList commandHistory;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool handleKey(int key);
    // Lets the view insert or delete at the end of its text; always false.
    bool letViewEdit();
    void sendByte(char byte);
    // Puts `line` into the line buffer and sends it, without a carriage return.
    void recall(const QString &line, bool echo);
    bool showHistoryMenu();
};
