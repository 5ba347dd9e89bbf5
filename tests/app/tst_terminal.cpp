// The terminal page against a real pseudo-terminal: key presses to bytes,
// the command history, received text in the view and the log file.
#include "keypresseater.h"
#include "apptest.h"
#include "ptypair.h"
#include "qpe.h"
#include "terminaloutput.h"

#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QtTest>

#include <cstring>
#include <memory>

class TestTerminal : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void linesSentAndRemembered();
    void recallWithF3();
    void consumedKeys_data();
    void consumedKeys();
    void backspace();
    void fullLineRefusesCharacters();
    void historyMenu();
    void upAndDownWithoutAChoice();
    void output_data();
    void output();
    void htmlChunk();
    void burstLongerThanTheView();
    void timerShowsWhatArrives();
    void logFileGetsRawBytes();
    void logFileNameOutsideLatin1();
    void receiveByte();
    void openFailureAndClose();

private:
    // Opens the terminal on the pty, as a click on Terminal does.
    void openTerminal();
    void type(int key, const QString &text = QString());
    QByteArray sent();

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<PtyPair> pty;
    std::unique_ptr<Lodvane> w;
};

void TestTerminal::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir->path());
    pty = std::make_unique<PtyPair>();
    QVERIFY(pty->isOpen());
    w = windowOnPort(pty->slavePath());
    resetTerminalCarriageReturn();
}

void TestTerminal::cleanup()
{
    w.reset();
    pty.reset();
    dir.reset();
}

// What the window sent to the board. Key bytes are written without waiting,
// so they leave the port while events are processed.
QByteArray TestTerminal::sent()
{
    QByteArray got;
    QElapsedTimer quiet, total;
    quiet.start();
    total.start();
    while (quiet.elapsed() < 200 && total.elapsed() < 3000) {
        QCoreApplication::processEvents();
        const QByteArray more = pty->read(4096, 20);
        if (!more.isEmpty()) {
            got += more;
            quiet.restart();
        }
    }
    return got;
}

void TestTerminal::openTerminal()
{
    w->ui.terminalTB->click();
    QCOMPARE(w->ui.main->currentIndex(), int(Lodvane::TerminalPage));
    QVERIFY(w->terminalPolling);
}

void TestTerminal::type(int key, const QString &text)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(w->ui.terminal, &press);
}

void TestTerminal::linesSentAndRemembered()
{
    openTerminal();
    QTest::keyClicks(w->ui.terminal, QStringLiteral("abc"));
    QVERIFY(w->ui.terminal->toPlainText().startsWith(QStringLiteral("abc")));
    QTest::keyClick(w->ui.terminal, Qt::Key_Return);
    QCOMPARE(sent(), QByteArray("ABC\r"));
    QCOMPARE(w->keyFilter->lastCommand, QStringLiteral("ABC"));
    QCOMPARE(w->keyFilter->lineLength, 0);
    // An empty line is remembered once; letters arrive as their key codes,
    // so "Go" and "go" are one entry.
    QTest::keyClick(w->ui.terminal, Qt::Key_Return);
    QTest::keyClick(w->ui.terminal, Qt::Key_Return);
    for (const char *line : {"go", "go", "Go"}) {
        QTest::keyClicks(w->ui.terminal, QLatin1String(line));
        QTest::keyClick(w->ui.terminal, Qt::Key_Return);
    }
    QCOMPARE(sent(), QByteArray("\r\rGO\rGO\rGO\r"));
    QCOMPARE(w->keyFilter->commandHistory, QStringList({"ABC", "", "GO"}));
    QCOMPARE(w->keyFilter->lastCommand, QStringLiteral("GO"));
}

void TestTerminal::recallWithF3()
{
    openTerminal();
    QTest::keyClick(w->ui.terminal, Qt::Key_F3); // no last command yet
    QCOMPARE(sent(), QByteArray());
    QCOMPARE(w->keyFilter->lineLength, 0);
    QTest::keyClicks(w->ui.terminal, QStringLiteral("ls"));
    QTest::keyClick(w->ui.terminal, Qt::Key_Return);
    QCOMPARE(sent(), QByteArray("LS\r"));
    QTest::keyClicks(w->ui.terminal, QStringLiteral("x"));
    QTest::keyClick(w->ui.terminal, Qt::Key_F3); // the line is not empty
    QCOMPARE(sent(), QByteArray("X"));
    QCOMPARE(w->keyFilter->lineLength, 1);
    QTest::keyClick(w->ui.terminal, Qt::Key_Backspace);
    QCOMPARE(sent(), QByteArray("\x08"));

    w->ui.terminal->clear();
    QTest::keyClick(w->ui.terminal, Qt::Key_F3);
    QCOMPARE(sent(), QByteArray("LS")); // the user ends the line with Return
    QCOMPARE(w->keyFilter->lineLength, 2);
    QCOMPARE(w->ui.terminal->toPlainText(), QStringLiteral("LS")); // local echo
    QTest::keyClick(w->ui.terminal, Qt::Key_Return);
    QCOMPARE(sent(), QByteArray("\r"));
    QCOMPARE(w->keyFilter->commandHistory, QStringList{"LS"});
}

void TestTerminal::consumedKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("Escape") << int(Qt::Key_Escape) << QByteArray("\x1B");
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << QByteArray();
    QTest::newRow("Left") << int(Qt::Key_Left) << QByteArray();
    QTest::newRow("Delete") << int(Qt::Key_Delete) << QByteArray();
}

void TestTerminal::consumedKeys()
{
    QFETCH(int, key);
    QFETCH(QByteArray, bytes);
    openTerminal();
    QTest::keyClicks(w->ui.terminal, QStringLiteral("ab"));
    QVERIFY(sent() == "AB");
    const int cursor = w->ui.terminal->textCursor().position();
    type(key);
    QCOMPARE(sent(), bytes);
    QCOMPARE(w->ui.terminal->toPlainText(), QStringLiteral("ab"));
    QCOMPARE(w->ui.terminal->textCursor().position(), cursor);
    QCOMPARE(w->keyFilter->lineLength, 2);
}

void TestTerminal::backspace()
{
    openTerminal();
    w->terminalOutput("prompt> ");
    type(Qt::Key_Backspace);
    QCOMPARE(sent(), QByteArray("\x08"));
    QCOMPARE(w->ui.terminal->toPlainText(), QStringLiteral("prompt> "));

    QTest::keyClicks(w->ui.terminal, QStringLiteral("ab"));
    QTest::keyClick(w->ui.terminal, Qt::Key_Backspace);
    QCOMPARE(sent(), QByteArray("AB\x08"));
    QCOMPARE(w->keyFilter->lineLength, 1);
    QCOMPARE(w->ui.terminal->toPlainText(), QStringLiteral("prompt> a"));
}

void TestTerminal::fullLineRefusesCharacters()
{
    openTerminal();
    std::memset(w->keyFilter->lineBuffer, 'Q', KeyPressEater::kMaxLineLength);
    w->keyFilter->lineLength = KeyPressEater::kMaxLineLength;
    QTest::keyClicks(w->ui.terminal, QStringLiteral("xy"));
    QCOMPARE(sent(), QByteArray());
    QCOMPARE(w->ui.terminal->toPlainText(), QString());
    QCOMPARE(w->keyFilter->lineLength, KeyPressEater::kMaxLineLength);
    // Return still ends the full line.
    QTest::keyClick(w->ui.terminal, Qt::Key_Return);
    QCOMPARE(sent(), QByteArray("\r"));
    QCOMPARE(w->keyFilter->lastCommand, QString(KeyPressEater::kMaxLineLength, QLatin1Char('Q')));
}

void TestTerminal::historyMenu()
{
    openTerminal();
    w->keyFilter->commandHistory = QStringList{"ONE", "TWO", "THREE"};
    QString title;
    QStringList entries;
    QTimer::singleShot(0, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        title = menu->title();
        for (QAction *a : menu->actions())
            entries << a->text();
        QTest::keyClick(menu, Qt::Key_Down);
        QTest::keyClick(menu, Qt::Key_Down);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    w->keyFilter->localEcho = false; // the menu's choice is shown all the same
    QTest::keyClick(w->ui.terminal, Qt::Key_Down);
    QCOMPARE(title, QStringLiteral("LAST COMMANDS"));
    QCOMPARE(entries, QStringList({"ONE", "TWO", "THREE"}));
    QCOMPARE(sent(), QByteArray("TWO"));
    QCOMPARE(w->keyFilter->lastCommand, QStringLiteral("TWO"));
    QCOMPARE(w->keyFilter->lineLength, 3);
    QCOMPARE(w->ui.terminal->toPlainText(), QStringLiteral("TWO"));
}

void TestTerminal::upAndDownWithoutAChoice()
{
    openTerminal();
    // With no history Up is the view's: the cursor moves, nothing is sent.
    w->terminalOutput("one\ntwo");
    QCOMPARE(w->ui.terminal->textCursor().blockNumber(), 1);
    QTest::keyClick(w->ui.terminal, Qt::Key_Up);
    QCOMPARE(w->ui.terminal->textCursor().blockNumber(), 0);
    QCOMPARE(sent(), QByteArray());

    // A menu closed without a choice sends and changes nothing.
    w->keyFilter->commandHistory = QStringList{"ONE"};
    w->keyFilter->lastCommand = QStringLiteral("ONE");
    bool shown = false;
    QTimer::singleShot(0, [&] {
        if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
            shown = true;
            menu->close();
        }
    });
    QTest::keyClick(w->ui.terminal, Qt::Key_Up);
    QVERIFY(shown);
    QCOMPARE(sent(), QByteArray());
    QCOMPARE(w->keyFilter->lineLength, 0);
    QCOMPARE(w->keyFilter->lastCommand, QStringLiteral("ONE"));
}

void TestTerminal::output_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("pending");
    QTest::newRow("CR then text in a later chunk erases the line")
        << QList<QByteArray>{"A\r", "B"} << "B" << false;
    QTest::newRow("CR inside one chunk erases nothing yet") << QList<QByteArray>{"A\rB"} << "AB" << true;
    QTest::newRow("CR LF is a line end") << QList<QByteArray>{"A\r\nB"} << "A\nB" << false;
    QTest::newRow("progress line rewritten")
        << QList<QByteArray>{"done\n", "10%\r", "50%\r", "100%\r\n", "ok"} << "done\n100%\nok" << false;
    QTest::newRow("zero byte cuts the chunk") << QList<QByteArray>{QByteArray("ab\0cd", 5)} << "ab" << false;
    QTest::newRow("Latin-1 bytes") << QList<QByteArray>{"\xB5s \xE9t\xE9"} << QString::fromLatin1("\xB5s \xE9t\xE9") << false;
}

void TestTerminal::output()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QString, shown);
    QFETCH(bool, pending);
    for (const QByteArray &chunk : chunks)
        w->terminalOutput(chunk.constData());
    QCOMPARE(w->ui.terminal->toPlainText(), shown);
    QCOMPARE(terminalCarriageReturnPending(), pending);
}

void TestTerminal::htmlChunk()
{
    w->terminalOutput("before");
    w->terminalOutput("\xBB<b>x</b>\ny");
    const QTextDocument *doc = w->ui.terminal->document();
    QCOMPARE(doc->blockCount(), 2);
    QCOMPARE(doc->lastBlock().text(), QStringLiteral("x") + QChar(QChar::LineSeparator) + QStringLiteral("y"));
    QVERIFY(doc->lastBlock().begin().fragment().charFormat().fontWeight() > QFont::Normal);
}

void TestTerminal::burstLongerThanTheView()
{
    w->terminalOutput("old line\npartial");
    QByteArray burst;
    for (int i = 0; i < 1500; ++i)
        burst += "line " + QByteArray::number(i) + (i % 3 ? "\r\n" : "\n");
    burst += "tail\r";
    w->terminalOutput(burst.constData());
    const QTextDocument *doc = w->ui.terminal->document();
    QCOMPARE(doc->blockCount(), 1024);
    QCOMPARE(doc->firstBlock().text(), QStringLiteral("line 477"));
    QCOMPARE(doc->lastBlock().previous().text(), QStringLiteral("line 1499"));
    QCOMPARE(doc->lastBlock().text(), QStringLiteral("tail"));
    QVERIFY(terminalCarriageReturnPending());
    w->terminalOutput("new");
    QCOMPARE(doc->lastBlock().text(), QStringLiteral("new"));
    QCOMPARE(doc->blockCount(), 1024);
}

void TestTerminal::timerShowsWhatArrives()
{
    openTerminal();
    QVERIFY(pty->write("Lodvane monitor\r\n> "));
    QTRY_COMPARE_WITH_TIMEOUT(w->ui.terminal->toPlainText(), QStringLiteral("Lodvane monitor\n> "), 5000);
    // While the terminal is closed nothing is read from the port.
    w->terminalPolling = false;
    QVERIFY(pty->write("late"));
    QVERIFY(w->link->pollWait(4));
    QTest::qWait(300);
    QCOMPARE(w->link->bytesAvailable(), 4);
}

void TestTerminal::logFileGetsRawBytes()
{
    openTerminal();
    const QString logName = dir->filePath(QStringLiteral("session.log"));
    answerFileDialog(logName);
    w->ui.logTB->click();
    QVERIFY(w->ui.logTB->isChecked());
    QVERIFY(w->terminalLogFile);
    QCOMPARE(w->settings->value("Terminal.Log.Path").toString(), dir->path());

    w->terminalOutput("A\r");
    w->terminalOutput("\xBBx\ny");
    w->terminalOutput(QByteArray("ab\0cd", 5).constData());
    QTest::keyClicks(w->ui.terminal, QStringLiteral("typed")); // keys are not logged
    w->ui.logTB->click();
    QVERIFY(!w->terminalLogFile);

    QFile log(logName);
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll(), QByteArray("A\r\xBBx\nyab"));
}

void TestTerminal::logFileNameOutsideLatin1()
{
    openTerminal();
    const QString logName = dir->filePath(QString::fromUtf8("\xC5\x82\xC3\xB3" "d\xC5\xBA.log"));
    answerFileDialog(logName);
    w->ui.logTB->click();
    QVERIFY(!w->ui.logTB->isChecked());
    QVERIFY(!w->terminalLogFile);
    QVERIFY(w->ui.log->toPlainText().contains(QStringLiteral("Latin-1")));
    QCOMPARE(QDir(dir->path()).entryList(QStringList{"*.log"}, QDir::Files), QStringList());

    // A cancelled dialog leaves the button as the click set it.
    answerFileDialog(QString());
    w->ui.logTB->click();
    QVERIFY(w->ui.logTB->isChecked());
    QVERIFY(!w->terminalLogFile);
}

void TestTerminal::receiveByte()
{
    QCOMPARE(w->receiveByte(0), -1);
    w->rxPending = "xy";
    QCOMPARE(w->receiveByte(0), int('x'));
    QCOMPARE(w->receiveByte(0), int('y'));
    QCOMPARE(w->receiveByte(0), -1);

    QVERIFY(w->openSelectedPort());
    QVERIFY(pty->write("\xFF\x01"));
    QCOMPARE(w->receiveByte(20), 0xFF); // bytes come back unsigned
    QCOMPARE(w->rxPending, QByteArray("\x01"));
    QCOMPARE(w->receiveByte(20), 0x01);
    QCOMPARE(w->receiveByte(2), -1);
    w->link->closePort();
}

void TestTerminal::openFailureAndClose()
{
    w->ui.serialPortsCB->addItem(QStringLiteral("/dev/lodvane-missing"));
    w->ui.serialPortsCB->setCurrentIndex(w->ui.serialPortsCB->count() - 1);
    w->ui.rtsResetRB->click();
    w->ui.terminalTB->click();
    QCOMPARE(w->ui.main->currentIndex(), int(Lodvane::HomePage));
    QVERIFY(w->ui.log->toPlainText().endsWith(QStringLiteral("Can't open selected port [/dev/lodvane-missing].")));
    QVERIFY(w->ui.resetTB->isEnabled());

    w->ui.serialPortsCB->setCurrentIndex(w->ui.serialPortsCB->count() - 2);
    w->ui.noneResetRB->click();
    openTerminal();
    QVERIFY(!w->ui.resetTB->isEnabled());
    w->ui.closeTerminalTB->click();
    QCOMPARE(w->ui.main->currentIndex(), int(Lodvane::HomePage));
    QVERIFY(!w->terminalPolling);
    QVERIFY(!w->link->isOpen());
    // Keys typed into the view no longer reach the port.
    QTest::keyClicks(w->ui.terminal, QStringLiteral("z"));
    QVERIFY(w->openSelectedPort());
    QCOMPARE(sent(), QByteArray());
}

QTEST_MAIN(TestTerminal)
#include "tst_terminal.moc"
