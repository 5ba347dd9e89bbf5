// PROGRAM, VERIFY, ERASE and RESET from the window, against the virtual
// board: what the form hands to the link, the terminal after PROGRAM and the
// transfers the board starts there, Escape and a click that arrives during a
// running action. (The file checks before
// the port is touched are the command-line tests', on the same steps.)
#include "apptest.h"
#include "samplestreams.h"
#include "simprocess.h"
#include "testfiles.h"
#include "textrecorder.h"

#include <QtTest>

class TestActions : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<Lodvane> w;
    QString previousDir;

    // Starts the board and a window whose port list offers it.
    void startBoard(const QStringList &options = QStringList())
    {
        sim = std::make_unique<SimProcess>(dir->path());
        QVERIFY2(sim->start(options), qPrintable(sim->lastError()));
        w = windowOnPort(sim->port());
        QCOMPARE(w->ui.serialPortsCB->currentText(), sim->port());
    }
    QString writeFile(const QString &name, const QByteArray &bytes) { return ::writeFile(dir->filePath(name), bytes); }
    QStringList logLines() const { return ::logLines(*w); }
    // Types a monitor command into the terminal and waits for the LOG line
    // that ends the transfer it starts.
    void type(const QString &command, const QString &logLine)
    {
        QTest::keyClicks(w->ui.terminal, command);
        QTest::keyClick(w->ui.terminal, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(logLines().contains(logLine), 10000);
    }

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        useSettingsIn(dir->filePath("settings"));
        // Board-named files are relative to the working directory.
        previousDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir->path()));
    }
    void cleanup()
    {
        w.reset();
        sim.reset();
        QDir::setCurrent(previousDir);
        dir.reset();
    }

    // The sequences themselves are the link's; here the form's binary, loader
    // and FLASH size reach them, and the port is closed after each. A second
    // click on PROGRAM while the first talks to the loader (delivered by the
    // events a LOG line lets through) is refused, as the port is busy.
    void programVerifyErase()
    {
        startBoard();
        const QString binary = writeFile("image.ldr", testPattern(600, 3));
        w->ui.binaryFilePathLE->setText(binary);
        bool clicked = false;
        connect(w->link, &QPE::message, w.get(), [&](const QString &line) {
            if (!clicked && line == "System sync OK.") {
                clicked = true;
                w->ui.programTB->click();
            }
        });
        w->ui.programTB->click();
        QVERIFY(clicked);
        const QStringList lines = logLines();
        QCOMPARE(lines.count(QStringLiteral("Can't open selected port [%1].").arg(sim->port())), 1);
        QCOMPARE(lines.count("FLASH Programmed."), 1);
        QCOMPARE(lines.last(), QStringLiteral("File [%1] correctly uploaded.").arg(binary));
        QVERIFY(!w->link->isOpen());
        w->ui.verifyTB->click();
        QCOMPARE(logLines().last(), QStringLiteral("File [%1] correctly verified.").arg(binary));

        // ERASE needs no binary; the size comes from the form: two blocks.
        w->ui.binaryFilePathLE->setText(dir->filePath("not-there.ldr"));
        w->ui.flashSize->setValue(65536);
        w->ui.log->clear();
        w->ui.eraseTB->click();
        QCOMPARE(logLines().filter("] erased.").size(), 2);
        QVERIFY(!w->link->isOpen());
        QCOMPARE(w->ui.progressBar->value(), 100);
    }

    // PROGRAM to RAM with the terminal to follow: the line sequence the link
    // sees for the BOOT/RESET choices, and the terminal on the same port, also
    // when the upload failed. The demo monitor then starts both file transfers
    // itself, its markers arriving among its text, and RESET pulses the chosen
    // line as PROGRAM did.
    void ramUploadThenTerminal_data()
    {
        QTest::addColumn<QStringList>("boardOptions");
        QTest::addColumn<QString>("boot");
        QTest::addColumn<QString>("reset");
        QTest::addColumn<bool>("invertRts");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QStringList>("pulse");
        QTest::newRow("RESET on RTS only") << QStringList() << "noneBootRB" << "rtsResetRB" << true
                                           << QStringList({"RTS 0", "sleep 100", "RTS 1"})
                                           << QStringList({"RTS 0", "sleep 100", "RTS 1"});
        QTest::newRow("BOOT on RTS, RESET on DTR")
            << QStringList() << "rtsBootRB" << "dtrResetRB" << false
            << QStringList({"RTS 0", "sleep 10", "DTR 0", "sleep 100", "DTR 1", "RTS 0"})
            << QStringList({"DTR 0", "sleep 100", "DTR 1"});
        QTest::newRow("upload fails") << QStringList{"--no-autobaud"} << "noneBootRB" << "noneResetRB" << false
                                      << QStringList() << QStringList();
    }

    void ramUploadThenTerminal()
    {
        QFETCH(QStringList, boardOptions);
        QFETCH(QString, boot);
        QFETCH(QString, reset);
        QFETCH(bool, invertRts);
        QFETCH(QStringList, events);
        QFETCH(QStringList, pulse);
        startBoard(boardOptions);
        TextRecorder recorder;
        w->link->setLineRecorder(&recorder);
        w->findChild<QRadioButton *>(boot)->click();
        w->findChild<QRadioButton *>(reset)->click();
        w->ui.invertRTSRB->setChecked(invertRts);
        const QString demo = QStringLiteral(LODVANE_EXAMPLES "/demo-monitor.ldr");
        w->ui.binaryFilePathLE->setText(demo);
        w->ui.flashLoaderPathLE->setText(dir->filePath("no-loader-needed.ldr"));
        w->ui.ramRB->click();
        w->ui.openTerminalCB->setChecked(true);
        w->ui.programTB->click();
        QCOMPARE(recorder.events, events);

        QCOMPARE(w->ui.main->currentIndex(), int(Lodvane::TerminalPage));
        QVERIFY(w->terminalPolling);
        QVERIFY(w->link->isOpen());
        const bool uploaded = boardOptions.isEmpty();
        QCOMPARE(logLines().contains(QStringLiteral("File [%1] correctly uploaded.").arg(demo)), uploaded);
        if (uploaded) {
            // The demo application greets on the same, still open port.
            QTRY_VERIFY_WITH_TIMEOUT(w->ui.terminal->toPlainText().contains("bf> "), 5000);
            type("send dump.bin 300", "Terminal: X-Modem file received OK");
            QCOMPARE(readFile(dir->filePath("DUMP.BIN")), monitorPattern(300));
            QTRY_VERIFY_WITH_TIMEOUT(w->ui.terminal->toPlainText().contains("sent DUMP.BIN: 300 bytes"), 5000);
            type("get dump.bin", "Terminal: X-Modem file transmit OK");
            QTRY_VERIFY_WITH_TIMEOUT(
                w->ui.terminal->toPlainText().contains("received DUMP.BIN: 300 bytes (announced 300)"), 5000);
        } else {
            QVERIFY(logLines().first().startsWith("No answer on auto-baud command by device ["));
        }
        if (!pulse.isEmpty()) { // RESET with no line chosen is the terminal tests'
            recorder.events.clear();
            w->ui.resetTB->click();
            QCOMPARE(recorder.events, pulse);
        }
        w->link->setLineRecorder(nullptr);
        w->ui.closeTerminalTB->click();
        QVERIFY(!w->link->isOpen());
    }

    // Escape on the Home page stops a running operation between two frames:
    // the LOG says so right after the line that let the key through, the port is
    // closed (no terminal, even when asked for), and the board takes the next
    // PROGRAM.
    void escapeCancels_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("toRam");
        QTest::addColumn<QString>("pressedAfter");
        QTest::newRow("PROGRAM") << "programTB" << false << "FILE -> FLASH[   1]      256 bytes";
        QTest::newRow("VERIFY") << "verifyTB" << false << "FILE == FLASH[   0]        0 bytes";
        QTest::newRow("ERASE") << "eraseTB" << false << "Erase FLASH -> Block[  1] erased.";
        QTest::newRow("RAM upload") << "programTB" << true << "Loaded byte(s):   4096";
    }

    void escapeCancels()
    {
        QFETCH(QString, button);
        QFETCH(bool, toRam);
        QFETCH(QString, pressedAfter);
        startBoard();
        const QString binary = writeFile("image.ldr", toBytes(sampleStream(12000)));
        w->ui.binaryFilePathLE->setText(binary);
        w->ui.flashSize->setValue(4 * 65536);
        if (button == "verifyTB") // something to verify
            w->ui.programTB->click();
        w->ui.log->clear();
        w->ui.openTerminalCB->setChecked(true);
        if (toRam)
            w->ui.ramRB->click();
        bool armed = true;
        connect(w->link, &QPE::message, w.get(), [&](const QString &line) {
            if (armed && line == pressedAfter)
                QTest::keyClick(w->findChild<QToolButton *>(button), Qt::Key_Escape);
        });
        // The closed port is a hang-up, which sends the virtual board back to its
        // boot ROM as the RESET pulse of the next PROGRAM would a real one.
        auto resets = [&] { return sim->traceLines().filter("reset cause=hangup").size(); };
        const int resetsBefore = resets();
        w->findChild<QToolButton *>(button)->click();

        const QStringList lines = logLines();
        QCOMPARE(lines.mid(lines.indexOf(pressedAfter) + 1), QStringList{"Cancelled by user."});
        QVERIFY(!w->link->isOpen());
        QCOMPARE(w->ui.main->currentIndex(), int(Lodvane::HomePage));

        armed = false;
        QTRY_VERIFY(resets() > resetsBefore);
        w->ui.openTerminalCB->setChecked(false);
        w->ui.flashRB->click();
        w->ui.log->clear();
        w->ui.programTB->click();
        QCOMPARE(logLines().last(), QStringLiteral("File [%1] correctly uploaded.").arg(binary));
        QVERIFY(!logLines().contains("Cancelled by user."));
    }
    // The newcomer's path: the demo in FLASH, then the shipped example script
    // reads the board's settings and is closed.
    void exampleScriptReadsTheBoard()
    {
        startBoard({QStringLiteral("--boot-flash")});
        w->ui.binaryFilePathLE->setText(QStringLiteral(LODVANE_EXAMPLES "/demo-monitor.ldr"));
        w->ui.programTB->click();
        QVERIFY(logLines().last().endsWith("correctly uploaded."));
        const QString read("Board settings: baud index 4, parity 0, 1 stop bit(s), echo 0, flow control 0, "
                           "boot delay 500 ms, LED 50 %, watchdog 1, name demo");
        int ticks = 0;
        QTimer clicker;
        connect(&clicker, &QTimer::timeout, [&] { // Read until answered (or given up), then Close
            (logLines().contains(read) || ++ticks > 30 ? w->ui.PB_3 : w->ui.PB_0)->click();
        });
        clicker.start(300);
        QVERIFY(w->runScript(QStringLiteral(LODVANE_EXAMPLES "/eeprom.c")));
        QVERIFY2(logLines().contains(read), qPrintable(w->ui.log->toPlainText()));
    }
};

QTEST_MAIN(TestActions)
#include "tst_actions.moc"
