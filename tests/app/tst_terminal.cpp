// The terminal page against a real pseudo-terminal: key presses to bytes,
// the command history, received text in the view, the log file and the byte
// wait of the transfers.
#include "apptest.h"
#include "keypresseater.h"
#include "terminaloutput.h"
#include "testfiles.h"

#include <QMenu>
#include <QRegularExpression>
#include <QTextBlock>
#include <QtTest>

class TestTerminal : public QObject
{
    Q_OBJECT

    std::unique_ptr<WindowOnPty> f;
    Lodvane *w = nullptr;
    // How the history menu is answered (see keys_data) and what it showed.
    int menuPick = -1;
    QString menuTitle;
    QStringList menuEntries;

    // What the window sent to the board (key bytes are written without waiting).
    QByteArray sent()
    {
        w->link->drainWrites();
        return f->pty.readUntilQuiet(100, 2000);
    }

    // Opens the terminal on the pty, as a click on Terminal does.
    void openTerminal()
    {
        w->ui.terminalTB->click();
        QCOMPARE(w->ui.main->currentIndex(), int(Lodvane::TerminalPage));
        QVERIFY(w->terminalPolling);
    }

    // Types `keys` into the view: text as it stands, <Name> for other keys.
    void press(const QString &keys)
    {
        static const QMap<QString, Qt::Key> named{
            {"Ret", Qt::Key_Return}, {"Enter", Qt::Key_Enter}, {"BS", Qt::Key_Backspace}, {"Esc", Qt::Key_Escape},
            {"F3", Qt::Key_F3},      {"Left", Qt::Key_Left},   {"Del", Qt::Key_Delete},    {"Up", Qt::Key_Up},
            {"Down", Qt::Key_Down}};
        for (const QString &part : keys.split(QRegularExpression("(?=<)|(?<=>)"), Qt::SkipEmptyParts)) {
            const Qt::Key key = named.value(part.mid(1, part.size() - 2));
            if (key == Qt::Key_Up || key == Qt::Key_Down) {
                QTimer::singleShot(0, [this] {
                    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
                    if (!menu)
                        return;
                    menuTitle = menu->title();
                    for (QAction *a : menu->actions())
                        menuEntries << a->text();
                    for (int i = 0; i < menuPick; ++i)
                        QTest::keyClick(menu, Qt::Key_Down);
                    if (menuPick > 0)
                        QTest::keyClick(menu, Qt::Key_Return);
                    else
                        menu->close();
                });
            }
            if (part == "<Click>") {
                w->ui.terminal->moveCursor(QTextCursor::Start); // where a click on the first line puts it
            } else if (part.startsWith('<')) {
                QTest::keyClick(w->ui.terminal, key);
            } else {
                QTest::keyClicks(w->ui.terminal, part);
            }
        }
    }

private slots:
    void init()
    {
        f = std::make_unique<WindowOnPty>();
        QVERIFY(f->pty.isOpen());
        w = f->w.get();
        menuTitle.clear();
        menuEntries.clear();
        resetTerminalCarriageReturn();
    }
    void cleanup() { f.reset(); }

    void keys_data()
    {
        QTest::addColumn<QByteArray>("output"); // shown before the keys
        QTest::addColumn<bool>("localEcho");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("pick"); // history entry chosen (from 1), 0 closes the menu, -1 no menu
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QStringList>("history");
        // Letters arrive as their key codes, so "Go" and "go" are one entry.
        QTest::newRow("empty and repeated lines remembered once")
            << QByteArray() << true << "<Ret><Ret>go<Ret>go<Ret>Go<Ret>" << -1 << QByteArray("\r\rGO\rGO\rGO\r")
            << "gogoGo" << QStringList({"", "GO"});
        QTest::newRow("F3 recalls the last line only into an empty line")
            << QByteArray() << true << "<F3>ls<Ret>x<F3><BS><F3><Ret>" << -1 << QByteArray("LS\rX\bLS\r") << "lsLS"
            << QStringList{"LS"};
        QTest::newRow("Backspace never erases earlier output")
            << QByteArray("prompt> ") << true << "<BS>ab<BS>" << -1 << QByteArray("\bAB\b") << "prompt> a"
            << QStringList();
        QTest::newRow("Escape sent; keypad Enter, Left and Delete consumed")
            << QByteArray() << true << "ab<Esc><Enter><Left><Del>c" << -1 << QByteArray("AB\x1B" "C") << "abc"
            << QStringList();
        const QString full(KeyPressEater::kMaxLineLength, 'q');
        QTest::newRow("a full line takes no more characters")
            << QByteArray() << true << full + "xy<Ret>" << -1 << QByteArray(KeyPressEater::kMaxLineLength, 'Q') + "\r"
            << full << QStringList{full.toUpper()};
        // Typed keys land at the end of the view wherever its cursor was.
        QTest::newRow("the cursor moved elsewhere does not move where typing lands")
            << QByteArray("line one\n> ") << true << "<Click>ab<Click><BS>c<Ret>" << -1 << QByteArray("AB\bC\r")
            << "line one\n> ac" << QStringList{"AC"};
        // The menu's choice is shown even without local echo.
        QTest::newRow("history menu sends the chosen line")
            << QByteArray() << false << "one<Ret>two<Ret>three<Ret><Down><Ret>" << 2
            << QByteArray("ONE\rTWO\rTHREE\rTWO\r") << "onetwothreeTWO" << QStringList({"ONE", "TWO", "THREE"});
        QTest::newRow("history menu closed without a choice")
            << QByteArray() << true << "one<Ret><Up><F3>" << 0 << QByteArray("ONE\rONE") << "oneONE"
            << QStringList{"ONE"};
    }

    void keys()
    {
        QFETCH(QByteArray, output);
        QFETCH(bool, localEcho);
        QFETCH(QString, keys);
        QFETCH(int, pick);
        QFETCH(QByteArray, sent);
        QFETCH(QString, shown);
        QFETCH(QStringList, history);
        w->ui.localEchoCB->setChecked(localEcho);
        openTerminal();
        w->terminalOutput(output.constData());
        menuPick = pick;
        press(keys);
        QCOMPARE(this->sent(), sent);
        QCOMPARE(w->ui.terminal->toPlainText(), shown);
        QCOMPARE(w->keyFilter->commandHistory, history);
        QCOMPARE(menuTitle, pick < 0 ? QString() : QStringLiteral("LAST COMMANDS"));
        QCOMPARE(menuEntries, pick < 0 ? QStringList() : history);
    }

    void output_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("pending");
        QTest::newRow("CR inside one chunk erases nothing yet") << QList<QByteArray>{"A\rB"} << "AB" << true;
        QTest::newRow("CR LF is a line end") << QList<QByteArray>{"A\r\nB"} << "A\nB" << false;
        QTest::newRow("zero byte cuts the chunk") << QList<QByteArray>{QByteArray("ab\0cd", 5)} << "ab" << false;
        QTest::newRow("Latin-1 bytes") << QList<QByteArray>{"\xB5s \xE9t\xE9"} << QString::fromLatin1("\xB5s \xE9t\xE9")
                                       << false;
        QTest::newRow("a chunk that starts with 0xBB is HTML on a line of its own")
            << QList<QByteArray>{"before", "\xBB<b>x</b>\ny"} << "before\nx\ny" << false;
        // A CR erases the line once text follows in a later chunk, and the view
        // keeps the last 1024 lines.
        QByteArray burst;
        QStringList kept;
        for (int i = 0; i < 1500; ++i) {
            burst += "line " + QByteArray::number(i) + (i % 3 ? "\r\n" : "\n");
            kept << QStringLiteral("line %1").arg(i);
        }
        QTest::newRow("burst longer than the view") << QList<QByteArray>{"old\npartial", burst + "tail\r", "new"}
                                                    << (kept.mid(477) << "new").join('\n') << false;
    }

    void output()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QString, shown);
        QFETCH(bool, pending);
        for (const QByteArray &chunk : chunks)
            w->terminalOutput(chunk.constData());
        QCOMPARE(w->ui.terminal->toPlainText(), shown);
        QCOMPARE(terminalCarriageReturnPending(), pending);
    }

    // The timer counts the transfers' ticks down to zero, never below, and
    // shows what arrives while the terminal polls, nothing while it does not.
    // The transfers' input flush drops what was kept back and what waits at
    // the port (the byte wait itself is the transfer tests').
    void timer()
    {
        openTerminal();
        w->timeoutTicks = 3;
        QTRY_COMPARE_WITH_TIMEOUT(w->timeoutTicks, 0u, 5000);
        QVERIFY(f->pty.write("Lodvane monitor\r\n> "));
        QTRY_COMPARE_WITH_TIMEOUT(w->ui.terminal->toPlainText(), QStringLiteral("Lodvane monitor\n> "), 5000);
        QCOMPARE(w->timeoutTicks, 0u); // the rounds since did not wrap it
        w->terminalPolling = false;
        QVERIFY(f->pty.write("late"));
        QVERIFY(w->link->pollWait(4));
        w->timeoutTicks = 2;
        QTRY_COMPARE_WITH_TIMEOUT(w->timeoutTicks, 0u, 5000); // two rounds went by
        QCOMPARE(w->link->bytesAvailable(), 4);
        w->rxPending = "left over";
        w->flushInput();
        QCOMPARE(w->receiveByte(2), -1);
    }

    // The log file, then CLOSE, which closes the port: keys typed into the
    // view no longer reach it. RESET is offered only with a line to pulse.
    void logFileAndClose()
    {
        w->ui.noneResetRB->click();
        openTerminal();
        QVERIFY(!w->ui.resetTB->isEnabled());
        // A name outside Latin-1 is refused; no file is made.
        QStringList seen;
        answerFileDialog(f->dir.filePath(QString::fromUtf8("\xC5\x82\xC3\xB3" "d\xC5\xBA.log")), &seen);
        w->ui.logTB->click();
        QCOMPARE(seen, QStringList({"LOG REPORT", "/", "*.log"}));
        QVERIFY(!w->ui.logTB->isChecked());
        QVERIFY(!w->terminalLogFile);
        QVERIFY(w->ui.log->toPlainText().contains(QStringLiteral("Latin-1")));
        QCOMPARE(QDir(f->dir.path()).entryList(QStringList{"*.log"}, QDir::Files), QStringList());

        // The log gets the raw bytes received, not the keys typed.
        const QString logName = f->dir.filePath(QStringLiteral("session.log"));
        answerFileDialog(logName);
        w->ui.logTB->click();
        QVERIFY(w->ui.logTB->isChecked());
        QVERIFY(w->terminalLogFile);
        QCOMPARE(w->settings->value("Terminal.Log.Path").toString(), f->dir.path());
        w->terminalOutput("A\r");
        QCOMPARE(readFile(logName), QByteArray("A\r")); // on disk while the log is open
        w->terminalOutput("\xBBx\ny");
        w->terminalOutput(QByteArray("ab\0cd", 5).constData());
        QTest::keyClicks(w->ui.terminal, QStringLiteral("typed"));
        QCOMPARE(sent(), QByteArray("TYPED"));
        w->ui.logTB->click();
        QVERIFY(!w->terminalLogFile);
        QCOMPARE(readFile(logName), QByteArray("A\r\xBBx\nyab"));

        w->ui.closeTerminalTB->click();
        QCOMPARE(w->ui.main->currentIndex(), int(Lodvane::HomePage));
        QVERIFY(!w->terminalPolling);
        QVERIFY(!w->link->isOpen());
        QTest::keyClicks(w->ui.terminal, QStringLiteral("z"));
        QVERIFY(w->openSelectedPort());
        QCOMPARE(sent(), QByteArray());
    }
};

QTEST_MAIN(TestTerminal)
#include "tst_terminal.moc"
