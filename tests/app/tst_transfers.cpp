// File transfers from the terminal page: X-Rx against lrzsz's sx, and the
// transfers a board starts itself, played byte for byte by a scripted board
// on the other side of a real pseudo-terminal.
#include "crc16.h"
#include "apptest.h"
#include "peerprocess.h"
#include "ptypair.h"
#include "simprocess.h"
#include "testfiles.h"
#include "xmodem.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>

using namespace Xmodem;

namespace {

QByteArray crcBlock(unsigned char number, const QByteArray &data)
{
    QByteArray packet;
    packet.append(char(kSoh));
    packet.append(char(number));
    packet.append(char(~number));
    packet.append(data);
    const std::uint16_t crc = crc16(reinterpret_cast<const unsigned char *>(data.constData()), data.size());
    packet.append(char(crc >> 8));
    packet.append(char(crc & 0xFF));
    return packet;
}

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
        expect(QByteArray(1, char(Xmodem::kAck)));
        send(line);
    }
    void start()
    {
        done = false;
        worker = std::thread([this] {
            for (const Step &step : steps) {
                if (step.send) {
                    pty.write(step.bytes);
                    continue;
                }
                const QByteArray got = pty.read(step.bytes.size(), 5000);
                if (got != step.bytes) {
                    failure = QStringLiteral("expected %1, got %2")
                                  .arg(QString::fromLatin1(step.bytes.toHex()), QString::fromLatin1(got.toHex()));
                    break;
                }
            }
            done = true;
        });
    }
    // Waits (processing events) until the script ran to its end; the failure, if any.
    QString finish()
    {
        QElapsedTimer clock;
        clock.start();
        while (!done && clock.elapsed() < 20000)
            QTest::qWait(20);
        if (worker.joinable())
            worker.join();
        return done ? failure : QStringLiteral("board script did not finish");
    }

private:
    struct Step
    {
        bool send;
        QByteArray bytes;
    };
    PtyPair &pty;
    std::vector<Step> steps;
    std::thread worker;
    std::atomic<bool> done{true};
    QString failure;
};

const QByteArray kAckByte(1, char(kAck));

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
    void failedReceiveKeepsExistingFile();
    void deviceRequestsFile_data();
    void deviceRequestsFile();
    void requestRefusedOrMissing_data();
    void requestRefusedOrMissing();
    void xRxFromSx();
    void xRxCancelledDialog();
    void virtualBoardBothWays();

private:
    QStringList logLines() const { return ::logLines(*w); }
    QByteArray fileContents(const QString &name) const;

    std::unique_ptr<QTemporaryDir> dir;
    QString previousDir;
    std::unique_ptr<PtyPair> pty;
    std::unique_ptr<Lodvane> w;
};

void TestTransfers::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir->filePath("settings"));
    // Board-named files are relative to the working directory.
    previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir->path()));
    pty = std::make_unique<PtyPair>();
    w = windowOnPort(pty->slavePath());
    w->ui.terminalTB->click();
    QVERIFY(w->terminalPolling);
}

void TestTransfers::cleanup()
{
    w.reset();
    pty.reset();
    QDir::setCurrent(previousDir);
    dir.reset();
}

QByteArray TestTransfers::fileContents(const QString &name) const
{
    return QFile::exists(dir->filePath(name)) ? readFile(dir->filePath(name)) : QByteArray("<missing>");
}

void TestTransfers::deviceSendsFile_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("300 bytes") << 300;
    QTest::newRow("empty") << 0;
}

void TestTransfers::deviceSendsFile()
{
    QFETCH(int, size);
    const QByteArray data = testPattern(size, 1);
    const int blocks = (size + 127) / 128;
    const QByteArray padded = data + QByteArray(blocks * 128 - size, char(kCtrlZ));
    ScriptedBoard board(*pty);
    board.announce(char(0xFF), "dump.bin," + QByteArray::number(size) + "\n");
    board.expect(kAckByte);
    board.expect("C");
    for (int n = 0; n < blocks; ++n) {
        board.send(crcBlock(static_cast<unsigned char>(n + 1), padded.mid(n * 128, 128)));
        board.expect(kAckByte);
    }
    board.send(QByteArray(1, char(kEot)));
    board.expect(kAckByte);
    board.expect(QByteArray(5, char(kCan)));
    board.start();
    QCOMPARE(board.finish(), QString());

    QCOMPARE(fileContents("dump.bin"), data);
    QVERIFY(logLines().contains(QStringLiteral("Terminal: File [dump.bin], Size: %1").arg(size)));
    QCOMPARE(logLines().last(), QStringLiteral("Terminal: X-Modem file received OK"));
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList{"dump.bin"});
    QVERIFY(w->terminalPolling);
    // The terminal shows text again afterwards.
    pty->write("after");
    QTRY_VERIFY_WITH_TIMEOUT(w->ui.terminal->toPlainText().contains("after"), 5000);
}

void TestTransfers::deviceHeaderRefused_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<bool>("nameRefused");
    QTest::newRow("no comma") << QByteArray("dump.bin 300\n") << false;
    QTest::newRow("two commas") << QByteArray("a,b,300\n") << false;
    QTest::newRow("absolute") << QByteArray("/tmp/evil,3\n") << true;
    QTest::newRow("parent") << QByteArray("../evil,3\n") << true;
    QTest::newRow("empty name") << QByteArray(",3\n") << true;
    QTest::newRow("control character") << QByteArray("a\tb,3\n") << true;
    QTest::newRow("negative size") << QByteArray("a.bin,-3\n") << false;
    QTest::newRow("size not a number") << QByteArray("a.bin,many\n") << false;
    QTest::newRow("size over 64 MiB") << QByteArray("a.bin,67108865\n") << false;
}

void TestTransfers::deviceHeaderRefused()
{
    QFETCH(QByteArray, header);
    QFETCH(bool, nameRefused);
    ScriptedBoard board(*pty);
    board.announce(char(0xFF), header);
    board.expect(QByteArray(1, char(kBel)));
    board.start();
    QCOMPARE(board.finish(), QString());
    QCOMPARE(pty->readUntilQuiet(300, 2000), QByteArray()); // BEL and nothing else
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList());
    const QString name = QString::fromLatin1(header.left(header.indexOf(',')));
    QCOMPARE(logLines().contains(QStringLiteral("Terminal: Refused file name [%1]").arg(name)), nameRefused);
    QVERIFY(w->terminalPolling);
}

void TestTransfers::failedReceiveKeepsExistingFile()
{
    QVERIFY(!writeFile(dir->filePath("keep.bin"), "precious").isEmpty());

    ScriptedBoard board(*pty);
    board.announce(char(0xFF), "keep.bin,200\n");
    board.expect(kAckByte);
    board.expect("C");
    board.send(crcBlock(1, testPattern(128, 2)));
    board.expect(kAckByte);
    board.send(QByteArray(2, char(kCan)));
    board.expect(kAckByte);
    board.expect(QByteArray(5, char(kCan)));
    board.start();
    QCOMPARE(board.finish(), QString());

    QCOMPARE(fileContents("keep.bin"), QByteArray("precious"));
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList{"keep.bin"});
    QCOMPARE(logLines().last(), QStringLiteral("Terminal: X-Modem fail return: 4294967295"));
}

void TestTransfers::deviceRequestsFile_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("200 bytes") << 200;
    QTest::newRow("empty") << 0;
    QTest::newRow("exactly one block") << 128;
}

void TestTransfers::deviceRequestsFile()
{
    QFETCH(int, size);
    const QByteArray data = testPattern(size, 7);
    QVERIFY(!writeFile(dir->filePath("req.bin"), data).isEmpty());

    // The area is the next multiple of 128, zero-padded; a CTRL-Z block follows.
    const int area = (size + 127) / 128 * 128;
    const QByteArray padded = data + QByteArray(area - size, '\0');
    ScriptedBoard board(*pty);
    board.announce(char(0xFE), "req.bin\n");
    board.expect(kAckByte + QByteArray::number(size) + "\n");
    board.send(kAckByte);
    board.send("C");
    int number = 1;
    for (int offset = 0; offset < area; offset += 128) {
        board.expect(crcBlock(static_cast<unsigned char>(number++), padded.mid(offset, 128)));
        board.send(kAckByte);
    }
    QByteArray last(128, '\0');
    last[0] = char(kCtrlZ);
    board.expect(crcBlock(static_cast<unsigned char>(number), last));
    board.send(kAckByte);
    board.expect(QByteArray(1, char(kEot)));
    board.send(kAckByte);
    board.start();
    QCOMPARE(board.finish(), QString());

    const QStringList lines = logLines();
    QVERIFY(lines.contains("Terminal: Requested file [req.bin]"));
    QVERIFY(lines.contains(QStringLiteral("Terminal: Requested file size %1").arg(size)));
    QCOMPARE(lines.last(), QStringLiteral("Terminal: X-Modem file transmit OK"));
    QCOMPARE(pty->readUntilQuiet(300, 2000), QByteArray()); // no CAN in this direction
}

void TestTransfers::requestRefusedOrMissing_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("refused");
    QTest::newRow("missing file") << QByteArray("nothere.bin") << false;
    QTest::newRow("absolute") << QByteArray("/etc/hostname") << true;
    QTest::newRow("parent") << QByteArray("../x") << true;
    QTest::newRow("empty") << QByteArray() << true;
}

void TestTransfers::requestRefusedOrMissing()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, refused);
    ScriptedBoard board(*pty);
    board.announce(char(0xFE), name + "\n");
    board.start();
    QCOMPARE(board.finish(), QString());
    // Nothing further: the board is left to time out.
    QCOMPARE(pty->readUntilQuiet(1500, 3000), QByteArray());
    const QStringList lines = logLines();
    QVERIFY(lines.contains(QStringLiteral("Terminal: Requested file [%1]").arg(QString::fromLatin1(name))));
    QCOMPARE(lines.contains(QStringLiteral("Terminal: Refused file name [%1]").arg(QString::fromLatin1(name))), refused);
    QVERIFY(w->terminalPolling);
}

void TestTransfers::xRxFromSx()
{
    const QByteArray data = testPattern(5000, 3);
    QVERIFY(!writeFile(dir->filePath("send.bin"), data).isEmpty());
    PeerProcess sx;
    QVERIFY(sx.start("sx", {"-k", "send.bin"}, pty->masterDescriptor(), dir->path()));
    answerFileDialog(dir->filePath("received.bin"));
    w->ui.xModemReceiveTB->click();
    QCOMPARE(sx.wait(10000), 0);

    const QByteArray got = fileContents("received.bin");
    QVERIFY(got.startsWith(data));
    QCOMPARE(got.mid(data.size()), QByteArray(got.size() - data.size(), char(kCtrlZ)));
    QVERIFY(logLines().contains(QStringLiteral("X-Modem return: %1").arg(got.size())));
    QCOMPARE(logLines().last(), QStringLiteral("X-Modem data saved"));
    QCOMPARE(w->settings->value("Terminal.xModem.Path").toString(), dir->path());
    QVERIFY(w->terminalPolling);
}

void TestTransfers::xRxCancelledDialog()
{
    answerFileDialog(QString());
    const QString before = w->ui.log->toPlainText();
    w->ui.xModemReceiveTB->click();
    QCOMPARE(w->ui.log->toPlainText(), before);
    QCOMPARE(pty->readUntilQuiet(300, 1000), QByteArray()); // no "C" sent
    QVERIFY(w->terminalPolling);
}

void TestTransfers::virtualBoardBothWays()
{
    // The demo monitor of the virtual board starts both transfers itself.
    SimProcess sim(dir->path());
    QVERIFY2(sim.start(), qPrintable(sim.lastError()));
    w.reset();
    w = windowOnPort(sim.port());
    w->ui.binaryFilePathLE->setText(QStringLiteral(LODVANE_EXAMPLES "/demo-monitor.ldr"));
    w->ui.ramRB->click();
    w->ui.openTerminalCB->setChecked(true);
    w->ui.programTB->click();
    QTRY_VERIFY_WITH_TIMEOUT(w->ui.terminal->toPlainText().contains("bf> "), 5000);

    auto command = [this](const char *text) {
        QTest::keyClicks(w->ui.terminal, QString::fromLatin1(text));
        QTest::keyClick(w->ui.terminal, Qt::Key_Return);
    };
    command("send dump.bin 300");
    QTRY_VERIFY_WITH_TIMEOUT(logLines().contains("Terminal: X-Modem file received OK"), 10000);
    QVERIFY(logLines().contains("Terminal: File [DUMP.BIN], Size: 300"));
    QByteArray expected(300, '\0');
    for (int i = 0; i < 300; ++i)
        expected[i] = char((i * 7 + (i >> 8)) & 0xFF);
    QCOMPARE(fileContents("DUMP.BIN"), expected);
    QTRY_VERIFY_WITH_TIMEOUT(w->ui.terminal->toPlainText().contains("sent DUMP.BIN: 300 bytes"), 5000);

    command("get dump.bin");
    QTRY_VERIFY_WITH_TIMEOUT(logLines().contains("Terminal: X-Modem file transmit OK"), 10000);
    QVERIFY(logLines().contains("Terminal: Requested file size 300"));
    QTRY_VERIFY_WITH_TIMEOUT(
        w->ui.terminal->toPlainText().contains("received DUMP.BIN: 300 bytes (announced 300)"), 5000);
    w->ui.closeTerminalTB->click();
}

QTEST_MAIN(TestTransfers)
#include "tst_transfers.moc"
