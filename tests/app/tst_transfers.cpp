// File transfers from the terminal page: X-Rx against lrzsz's sx, and the
// transfers a board starts itself, played byte for byte by a scripted board
// on the other side of a real pseudo-terminal.
#include "../terminal/xmodempackets.h"
#include "apptest.h"
#include "peerprocess.h"
#include "simprocess.h"
#include "testfiles.h"

#include <QProgressDialog>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace Xmodem;

namespace {

const QByteArray kAckByte(1, char(kAck));

// The board's side of a handshake, run on its own thread while the window
// works: each step sends bytes or expects exactly the given bytes.
class ScriptedBoard
{
public:
    explicit ScriptedBoard(PtyPair &p) : pty(p) {}
    ~ScriptedBoard() { finish(); }

    void send(const QByteArray &bytes) { steps.push_back({true, bytes}); }
    void expect(const QByteArray &bytes) { steps.push_back({false, bytes}); }
    // The marker of a board-to-host file (0xFF) or of a request (0xFE), the
    // host's acknowledge, then the header line.
    void announce(char marker, const QByteArray &line)
    {
        send(QByteArray(1, marker));
        expect(kAckByte);
        send(line);
    }
    // Plays the steps; waits (processing events) for their end and returns
    // the failure, if any.
    QString run()
    {
        worker = std::thread([this] {
            for (const Step &step : steps) {
                const QByteArray got = step.send ? QByteArray() : pty.read(step.bytes.size(), 5000);
                if (step.send) {
                    pty.write(step.bytes);
                } else if (got != step.bytes) {
                    failure = QStringLiteral("expected %1, got %2")
                                  .arg(QLatin1String(step.bytes.toHex()), QLatin1String(got.toHex()));
                    break;
                }
            }
            done = true;
        });
        return finish();
    }

private:
    QString finish()
    {
        QElapsedTimer clock;
        clock.start();
        while (worker.joinable() && !done && clock.elapsed() < 20000)
            QTest::qWait(20);
        if (worker.joinable())
            worker.join();
        return done ? failure : QStringLiteral("board script did not finish");
    }
    struct Step
    {
        bool send;
        QByteArray bytes;
    };
    PtyPair &pty;
    std::vector<Step> steps;
    std::thread worker;
    std::atomic<bool> done{false};
    QString failure;
};

} // namespace

class TestTransfers : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void deviceSendsFile_data();
    void deviceSendsFile();
    void deviceHeaderRefused_data();
    void deviceHeaderRefused();
    void deviceRequestsFile_data();
    void deviceRequestsFile();
    void requestRefusedOrMissing_data();
    void requestRefusedOrMissing();
    void xRxFromSx();
    void xRxCancelledDialog();
    void xRxAborted_data();
    void xRxAborted();
    void virtualBoardBothWays();

private:
    QStringList logLines() const { return ::logLines(*w); }
    QString file(const QString &name) const { return f->dir.filePath(name); }
    QStringList files() const { return QDir(f->dir.path()).entryList(QDir::Files); }
    QByteArray contents(const QString &name) const
    {
        return QFile::exists(file(name)) ? readFile(file(name)) : QByteArray("<missing>");
    }

    // A folder beside the working directory with a secret in it, reached
    // from the working directory through the link "outside" (to the folder)
    // and "secret-link" (to the file).
    void linkOutside()
    {
        QVERIFY(elsewhere.isValid());
        QVERIFY(!writeFile(elsewhere.filePath("secret.bin"), "secret").isEmpty());
        QVERIFY(QFile::link(elsewhere.path(), file("outside")));
        QVERIFY(QFile::link(elsewhere.filePath("secret.bin"), file("secret-link")));
    }
    QStringList filesElsewhere() const { return QDir(elsewhere.path()).entryList(QDir::Files); }

    std::unique_ptr<WindowOnPty> f;
    Lodvane *w = nullptr;
    QString previousDir;
    QTemporaryDir elsewhere;
};

void TestTransfers::init()
{
    f = std::make_unique<WindowOnPty>();
    w = f->w.get();
    // Board-named files are relative to the working directory.
    previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(f->dir.path()));
    w->ui.terminalTB->click();
    QVERIFY(w->terminalPolling);
}

void TestTransfers::cleanup()
{
    f.reset();
    QDir::setCurrent(previousDir);
}

// A board-to-host file: whole, empty, into a subfolder, or cancelled by the
// board after its first block, which leaves a file of the same name as it
// was. A link at the name is replaced by the file, its target left alone.
void TestTransfers::deviceSendsFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("cancelled");
    QTest::newRow("300 bytes") << "dump.bin" << 300 << false;
    QTest::newRow("empty") << "dump.bin" << 0 << false;
    QTest::newRow("cancelled, existing file kept") << "dump.bin" << 200 << true;
    QTest::newRow("subfolder") << "sub/dump.bin" << 130 << false;
    QTest::newRow("link at the name replaced") << "secret-link" << 10 << false;
}

void TestTransfers::deviceSendsFile()
{
    QFETCH(QString, name);
    QFETCH(int, size);
    QFETCH(bool, cancelled);
    QVERIFY(QDir(f->dir.path()).mkdir("sub"));
    linkOutside();
    if (name.startsWith("dump"))
        QVERIFY(!writeFile(file(name), "precious").isEmpty());
    const QByteArray data = testPattern(size, 1);
    const int blocks = cancelled ? 1 : (size + 127) / 128;
    const QByteArray padded = data + QByteArray(blocks * 128, char(kCtrlZ));
    ScriptedBoard board(f->pty);
    board.announce(char(0xFF), name.toLatin1() + "," + QByteArray::number(size) + "\n");
    board.expect(kAckByte);
    board.expect("C");
    for (int n = 0; n < blocks; ++n) {
        board.send(soh(n + 1, padded.mid(n * 128, 128)));
        board.expect(kAckByte);
    }
    board.send(cancelled ? QByteArray(2, char(kCan)) : QByteArray(1, char(kEot)));
    board.expect(kAckByte);
    board.expect(QByteArray(5, char(kCan)));
    QCOMPARE(board.run(), QString());

    QCOMPARE(contents(name), cancelled ? QByteArray("precious") : data);
    QVERIFY(!QFileInfo(file(name)).isSymLink());
    QCOMPARE(readFile(elsewhere.filePath("secret.bin")), QByteArray("secret"));
    const QStringList temporaries{QFileInfo(name).fileName() + ".*"};
    QCOMPARE(QDir(QFileInfo(file(name)).path()).entryList(temporaries, QDir::Files | QDir::Hidden),
             QStringList());
    QVERIFY(logLines().contains(QStringLiteral("Terminal: File [%1], Size: %2").arg(name).arg(size)));
    QCOMPARE(logLines().last(), cancelled ? QStringLiteral("Terminal: X-Modem fail return: 4294967295")
                                          : QStringLiteral("Terminal: X-Modem file received OK"));
    // The terminal shows text again afterwards.
    QVERIFY(w->terminalPolling);
    f->pty.write("after");
    QTRY_VERIFY_WITH_TIMEOUT(w->ui.terminal->toPlainText().contains("after"), 5000);
}

// Header faults the parser tells apart (all of them are in the parser's own
// tests): each gets a BEL and nothing else; only a refused name is logged.
// Hidden names and names that lead out through a link write nothing.
void TestTransfers::deviceHeaderRefused_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<bool>("nameRefused");
    QTest::newRow("no comma") << QByteArray("dump.bin 300\n") << false;
    QTest::newRow("absolute") << QByteArray("/tmp/evil,3\n") << true;
    QTest::newRow("parent") << QByteArray("../evil,3\n") << true;
    QTest::newRow("negative size") << QByteArray("a.bin,-3\n") << false;
    QTest::newRow("size over 64 MiB") << QByteArray("a.bin,67108865\n") << false;
    QTest::newRow("shell start-up file") << QByteArray(".bashrc,300\n") << true;
    QTest::newRow("hidden folder") << QByteArray(".config/autostart/x.desktop,3\n") << true;
    QTest::newRow("through a link out") << QByteArray("outside/escape2.bin,300\n") << true;
}

void TestTransfers::deviceHeaderRefused()
{
    QFETCH(QByteArray, header);
    QFETCH(bool, nameRefused);
    linkOutside();
    QVERIFY(QDir(f->dir.path()).mkpath(".config/autostart"));
    ScriptedBoard board(f->pty);
    board.announce(char(0xFF), header);
    board.expect(QByteArray(1, char(kBel)));
    QCOMPARE(board.run(), QString());
    QCOMPARE(f->pty.readUntilQuiet(300, 2000), QByteArray());
    QCOMPARE(QDir(f->dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"secret-link"});
    QCOMPARE(QDir(file(".config/autostart")).entryList(QDir::Files | QDir::Hidden), QStringList());
    QCOMPARE(filesElsewhere(), QStringList{"secret.bin"});
    const QString name = QString::fromLatin1(header.left(header.indexOf(',')));
    QCOMPARE(logLines().contains(QStringLiteral("Terminal: Refused file name [%1]").arg(name)), nameRefused);
    QVERIFY(w->terminalPolling);
}

void TestTransfers::deviceRequestsFile_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("size");
    QTest::newRow("200 bytes") << QByteArray("req.bin") << 200;
    QTest::newRow("empty") << QByteArray("req.bin") << 0;
    QTest::newRow("exactly one block") << QByteArray("req.bin") << 128;
    QTest::newRow("subfolder") << QByteArray("sub/req.bin") << 20;
}

void TestTransfers::deviceRequestsFile()
{
    QFETCH(QByteArray, name);
    QFETCH(int, size);
    const QByteArray data = testPattern(size, 7);
    QVERIFY(QDir(f->dir.path()).mkdir("sub"));
    QVERIFY(!writeFile(file(QString::fromLatin1(name)), data).isEmpty());

    // The area is the next multiple of 128, zero-padded; a CTRL-Z block follows.
    const int area = (size + 127) / 128 * 128;
    const QByteArray padded = data + QByteArray(area - size, '\0');
    ScriptedBoard board(f->pty);
    board.announce(char(0xFE), name + "\n");
    board.expect(kAckByte + QByteArray::number(size) + "\n");
    board.send(kAckByte + "C");
    int number = 1;
    for (int offset = 0; offset < area; offset += 128) {
        board.expect(soh(number++, padded.mid(offset, 128)));
        board.send(kAckByte);
    }
    QByteArray last(128, '\0');
    last[0] = char(kCtrlZ);
    board.expect(soh(number, last));
    board.send(kAckByte);
    board.expect(QByteArray(1, char(kEot)));
    board.send(kAckByte);
    QCOMPARE(board.run(), QString());

    const QStringList lines = logLines();
    QVERIFY(lines.contains("Terminal: Requested file [" + QString::fromLatin1(name) + "]"));
    QVERIFY(lines.contains(QStringLiteral("Terminal: Requested file size %1").arg(size)));
    QCOMPARE(lines.last(), QStringLiteral("Terminal: X-Modem file transmit OK"));
    QCOMPARE(f->pty.readUntilQuiet(300, 2000), QByteArray()); // no CAN in this direction
}

void TestTransfers::requestRefusedOrMissing_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("refused");
    QTest::newRow("missing file") << QByteArray("nothere.bin") << false;
    QTest::newRow("absolute") << QByteArray("/etc/hostname") << true;
    QTest::newRow("parent") << QByteArray("../x") << true;
    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("private key") << QByteArray(".ssh/id_rsa") << true;
    QTest::newRow("through a folder link out") << QByteArray("outside/secret.bin") << true;
    QTest::newRow("link to a file outside") << QByteArray("secret-link") << true;
}

// Nothing further for the board: no file is read.
void TestTransfers::requestRefusedOrMissing()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, refused);
    linkOutside();
    QVERIFY(QDir(f->dir.path()).mkdir(".ssh"));
    QVERIFY(!writeFile(file(".ssh/id_rsa"), "key").isEmpty());
    ScriptedBoard board(f->pty);
    board.announce(char(0xFE), name + "\n");
    QCOMPARE(board.run(), QString());
    // Nothing further: the board is left to time out.
    QCOMPARE(f->pty.readUntilQuiet(1500, 3000), QByteArray());
    const QString shown = QString::fromLatin1(name);
    QVERIFY(logLines().contains(QStringLiteral("Terminal: Requested file [%1]").arg(shown)));
    QCOMPARE(logLines().contains(QStringLiteral("Terminal: Refused file name [%1]").arg(shown)), refused);
    QVERIFY(w->terminalPolling);
}

void TestTransfers::xRxFromSx()
{
    const QByteArray data = testPattern(5000, 3);
    QVERIFY(!writeFile(file("send.bin"), data).isEmpty());
    PeerProcess sx;
    QVERIFY(sx.start("sx", {"-k", "send.bin"}, f->pty.masterDescriptor(), f->dir.path()));
    answerFileDialog(file("received.bin"));
    w->ui.xModemReceiveTB->click();
    QCOMPARE(sx.wait(10000), 0);

    const QByteArray got = contents("received.bin");
    QVERIFY(got.startsWith(data));
    QCOMPARE(got.mid(data.size()), QByteArray(got.size() - data.size(), char(kCtrlZ)));
    QVERIFY(logLines().contains(QStringLiteral("X-Modem return: %1").arg(got.size())));
    QCOMPARE(logLines().last(), QStringLiteral("X-Modem data saved"));
    QCOMPARE(w->settings->value("Terminal.xModem.Path").toString(), f->dir.path());
    QVERIFY(w->terminalPolling);
}

void TestTransfers::xRxCancelledDialog()
{
    answerFileDialog(QString());
    const QString before = w->ui.log->toPlainText();
    w->ui.xModemReceiveTB->click();
    QCOMPARE(w->ui.log->toPlainText(), before);
    QCOMPARE(f->pty.readUntilQuiet(300, 1000), QByteArray()); // no "C" sent
    QVERIFY(w->terminalPolling);
}

// Abort while waiting for a sender, or in the middle of a transfer from sx:
// the sender is cancelled at once (sx ends), the result is -6, nothing is
// saved, and nothing more goes out on the line.
void TestTransfers::xRxAborted_data()
{
    QTest::addColumn<bool>("withSender");
    QTest::newRow("waiting for the sender") << false;
    QTest::newRow("during a transfer from sx") << true;
}

void TestTransfers::xRxAborted()
{
    QFETCH(bool, withSender);
    QVERIFY(!writeFile(file("big.bin"), testPattern(400 * 1024, 5)).isEmpty());
    PeerProcess sx;
    if (withSender)
        QVERIFY(sx.start("sx", {"-k", "big.bin"}, f->pty.masterDescriptor(), f->dir.path()));
    answerFileDialog(file("received.bin"));
    QTimer pressAbort;
    QObject::connect(&pressAbort, &QTimer::timeout, [this, withSender] {
        auto *dialog = w->findChild<QProgressDialog *>();
        if (dialog && (!withSender || dialog->value() >= 8192))
            dialog->cancel();
    });
    pressAbort.start(withSender ? 5 : 300);
    w->ui.xModemReceiveTB->click();
    pressAbort.stop();

    QCOMPARE(logLines().last(), QStringLiteral("X-Modem return: -6"));
    if (withSender) {
        QVERIFY(sx.wait(5000) > 0); // ended by the cancel, not killed
    } else {
        const QByteArray wire = f->pty.readUntilQuiet(300, 3000);
        QVERIFY2(wire.endsWith(QByteArray(3, char(kCan))), wire.toHex().constData());
        QCOMPARE(wire.count(char(kCan)), 3);
    }
    QCOMPARE(f->pty.readUntilQuiet(1500, 3000), QByteArray());
    QVERIFY(!QFile::exists(file("received.bin")));
    QVERIFY(w->terminalPolling);
}

void TestTransfers::virtualBoardBothWays()
{
    // The demo monitor of the virtual board starts both transfers itself.
    SimProcess sim(f->dir.path());
    QVERIFY2(sim.start(), qPrintable(sim.lastError()));
    f->w.reset();
    f->w = windowOnPort(sim.port());
    w = f->w.get();
    w->ui.binaryFilePathLE->setText(QStringLiteral(LODVANE_EXAMPLES "/demo-monitor.ldr"));
    w->ui.ramRB->click();
    w->ui.openTerminalCB->setChecked(true);
    w->ui.programTB->click();
    QTRY_VERIFY_WITH_TIMEOUT(w->ui.terminal->toPlainText().contains("bf> "), 5000);

    QTest::keyClicks(w->ui.terminal, QStringLiteral("send dump.bin 300"));
    QTest::keyClick(w->ui.terminal, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(logLines().contains("Terminal: X-Modem file received OK"), 10000);
    QVERIFY(logLines().contains("Terminal: File [DUMP.BIN], Size: 300"));
    QCOMPARE(contents("DUMP.BIN"), monitorPattern(300));
    QTRY_VERIFY_WITH_TIMEOUT(w->ui.terminal->toPlainText().contains("sent DUMP.BIN: 300 bytes"), 5000);

    QTest::keyClicks(w->ui.terminal, QStringLiteral("get dump.bin"));
    QTest::keyClick(w->ui.terminal, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(logLines().contains("Terminal: X-Modem file transmit OK"), 10000);
    QVERIFY(logLines().contains("Terminal: Requested file size 300"));
    QTRY_VERIFY_WITH_TIMEOUT(
        w->ui.terminal->toPlainText().contains("received DUMP.BIN: 300 bytes (announced 300)"), 5000);

    // Plain XMODEM, received with X-Rx: whole blocks, the last padded.
    QTest::keyClicks(w->ui.terminal, QStringLiteral("xsend 200"));
    QTest::keyClick(w->ui.terminal, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(w->ui.terminal->toPlainText().contains("start X-Rx on the PC"), 5000);
    answerFileDialog(file("xrx.bin"));
    w->ui.xModemReceiveTB->click();
    QCOMPARE(logLines().last(), QStringLiteral("X-Modem data saved"));
    QCOMPARE(contents("xrx.bin"), monitorPattern(200) + QByteArray(56, '\x1A'));
    QTRY_VERIFY_WITH_TIMEOUT(w->ui.terminal->toPlainText().contains("sent 200 bytes by XMODEM"), 5000);
    w->ui.closeTerminalTB->click();
}

QTEST_MAIN(TestTransfers)
#include "tst_transfers.moc"
