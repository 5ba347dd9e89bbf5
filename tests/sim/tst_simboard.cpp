// The virtual board in-process, fed the bytes of its protocols as written in
// the board's description (not by the program's device link): boot ROM,
// frames no sequence sends, the demo monitor chunk by chunk, FLASH boot, the
// FLASH model and the streams that come with the board; then lodvane-sim as a
// process. Its faults are checked through the program's link in the device
// tests, which see both sides.
#include "crc16.h"
#include "norflash.h"
#include "qpe.h"
#include "simboard.h"
#include "simimages.h"
#include "simprocess.h"
#include "testfiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray frame(char command, quint32 number, int numberBytes, int length = -1)
{
    QByteArray out(1, command);
    for (int i = numberBytes - 1; i >= 0; --i)
        out.append(char(number >> (8 * i)));
    if (length >= 0)
        out.append(char(length >> 8)).append(char(length));
    return out;
}
QByteArray eraseFrame(quint16 block) { return frame(0x01, block, 2); }
QByteArray programFrame(quint32 piece, const QByteArray &data) { return frame(0x02, piece, 4, data.size()) + data; }
QByteArray readFrame(quint32 piece, int length) { return frame(0x03, piece, 4, length); }

const QByteArray kAck("\xAA");
// 80 MHz / (16 x 115200): the host's speed is not set here, and a board that
// cannot tell answers as for 115200 bit/s.
const QByteArray kAutoBaudAnswer = QByteArray::fromHex("bf2b0000");

// A board with its FLASH (4 MiB: 64 blocks) and a trace kept in memory.
struct Bench
{
    sim::Options options;
    sim::NorFlash flash{sim::kDefaultExternalFlashBytes};
    QStringList trace;
    QStringList diagnostics;
    sim::SimBoard board{options, flash,
                        sim::BoardReports{[this](const std::string &l) { trace << QString::fromStdString(l); },
                                          [this](const std::string &l) { diagnostics << QString::fromStdString(l); }}};

    std::vector<sim::OutChunk> drain()
    {
        std::vector<sim::OutChunk> chunks;
        while (board.hasOutput())
            chunks.push_back(board.takeOutput());
        return chunks;
    }
    void feed(const QByteArray &bytes)
    {
        for (char c : bytes)
            board.receive(std::uint8_t(c));
    }
    // Feeds `bytes`; everything the board answered.
    QByteArray send(const QByteArray &bytes)
    {
        feed(bytes);
        QByteArray all;
        for (const sim::OutChunk &c : drain())
            all += toBytes(c.bytes);
        return all;
    }
    bool boot(const QByteArray &stream) { return send("\x40") == kAutoBaudAnswer && send(stream).isEmpty(); }
    bool bootLoader() { return boot(toBytes(sim::loaderImage("BF51x"))) && board.mode() == sim::SimBoard::Mode::Loader; }
};

} // namespace

class TestSimBoard : public QObject
{
    Q_OBJECT

private slots:
    // The demo kept in the examples folder (the build writes the loaders).
    void shippedDemoIsCurrent()
    {
        QCOMPARE(readFile(QStringLiteral(LODVANE_EXAMPLES "/demo-monitor.ldr")), toBytes(sim::demoImage()));
    }

    // The loader's sequences are the device tests'; here, what a host does
    // not normally send, then a bad boot stream and FLASH boot on the same
    // board.
    void loaderOutsideTheSequences()
    {
        Bench b;
        QVERIFY(b.bootLoader());
        QCOMPARE(b.send("\x55" + eraseFrame(0)), kAck + kAck);
        // One block past the end of the FLASH: the erase is acknowledged, but
        // nothing can be written or read there.
        QCOMPARE(b.send(eraseFrame(64)), kAck);
        QCOMPARE(b.send(programFrame(64 * 256, QByteArray(4, 0)) + readFrame(64 * 256, 4)), QByteArray());
        QCOMPARE(b.trace.filter("past-end"), (QStringList{"erase block=64 past-end ack",
                                                          "program piece=16384 length=4 past-end unanswered",
                                                          "read piece=16384 length=4 past-end unanswered"}));
        // Inside a frame 0x40 is data: a piece made of them is written.
        QCOMPARE(b.send(programFrame(0, "\x40\x40")), kAck);
        // Between frames it is the host starting over: the boot ROM answers, FLASH kept.
        QCOMPARE(b.send("\x40"), kAutoBaudAnswer);
        QVERIFY(b.trace.contains("reset cause=autobaud-byte"));
        QVERIFY(b.send(toBytes(sim::loaderImage("BF51x"))).isEmpty());
        QCOMPARE(b.send("\x55" + readFrame(0, 2)), kAck + "\x40\x40" + kAck);
        // After a reset the boot ROM answers nothing but the auto-baud byte.
        b.board.reset("hangup");
        QCOMPARE(b.send("\x55\x01"), QByteArray());

        // A bad block header halts the boot ROM until the next reset.
        QByteArray stream = toBytes(sim::demoImage());
        stream[16 + 4] = char(stream[16 + 4] ^ 0x01); // the second header
        QVERIFY(b.boot(stream));
        QCOMPARE(b.board.mode(), sim::SimBoard::Mode::Halted);
        QVERIFY(b.trace.contains("bad-header offset=16"));
        QCOMPARE(b.diagnostics.size(), 1);
        QCOMPARE(b.send("\x40"), QByteArray()); // ignored until reset

        // Strapped for FLASH boot with the demo in its FLASH (the window's
        // tests run it): nobody hears its banner, and an auto-baud byte as the
        // first byte after the boot reaches the boot ROM.
        b.options.bootFromFlash = true;
        const std::vector<std::uint8_t> demo = sim::demoImage();
        QVERIFY(b.flash.eraseBlock(0));
        QVERIFY(b.flash.program(0, demo.data(), demo.size()));
        b.board.reset("hangup");
        QVERIFY(b.drain().empty());
        QCOMPARE(b.send("\x40"), kAutoBaudAnswer);
        QCOMPARE(b.board.mode(), sim::SimBoard::Mode::Stream);
        // An erased FLASH holds nothing to run: the board waits in its boot ROM.
        QVERIFY(b.flash.eraseBlock(0));
        b.board.reset("hangup");
        QCOMPARE(b.trace.last(), QStringLiteral("flash-boot none"));
        QCOMPARE(b.board.mode(), sim::SimBoard::Mode::BootRom);
    }

    // The demo's banner and one line (the terminal shows typed keys itself,
    // so the monitor answers the line without echoing it), then its transfers.
    void demoMonitor()
    {
        Bench b;
        const std::vector<std::uint8_t> demo = sim::demoImage();
        b.feed("\x40");
        std::vector<sim::OutChunk> chunks = b.drain();
        QCOMPARE(int(chunks.size()), 1);
        QCOMPARE(chunks[0].pauseMsBefore, 0); // the auto-baud answer goes at once
        const QByteArray banner = b.send(toBytes(demo));
        QVERIFY2(banner.contains(QByteArray::number(int(demo.size())) + " bytes") && banner.endsWith("bf> "),
                 banner.constData());
        QVERIFY(b.trace.last().endsWith(" kind=application"));
        QCOMPARE(b.send("ECX\x7fHO ab\r"), QByteArray("\r\nab\r\nbf> "));
        for (const char *command : {"HELP\r", "PROGRESS\r", "HTML\r", "BURST 2\r", "NOPE\r"}) // each back at the prompt
            QVERIFY2(b.send(command).endsWith("bf> "), command);

        // Whole files go both ways in the window's transfer tests. Here: GET
        // keeps each packet once and answers a damaged one with NAK.
        auto packet = [](int number, const QByteArray &data) {
            const std::uint16_t crc = crc16(reinterpret_cast<const std::uint8_t *>(data.constData()), data.size());
            return QByteArray(1, '\x01') + char(number) + char(~number) + data + char(crc >> 8) + char(crc);
        };
        QCOMPARE(b.send("GET f\r"), QByteArray("\r\n\xFE"));
        QCOMPARE(b.send("\x06"), QByteArray("f\n"));
        QCOMPARE(b.send("\x06" "300\n"), QByteArray("\x06" "C"));
        QByteArray damaged = packet(1, testPattern(128));
        damaged[70] = char(damaged[70] ^ 1);
        QCOMPARE(b.send(damaged), QByteArray("\x15"));
        QCOMPARE(b.send(packet(1, testPattern(128))), QByteArray("\x06"));
        QCOMPARE(b.send(packet(2, testPattern(128, 2))), QByteArray("\x06"));
        QCOMPARE(b.send("\x04"), QByteArray("\x06received f: 256 bytes (announced 300)\r\nbf> "));
        // XSEND starts on the receiver's first request.
        QVERIFY(b.send("XSEND\r").contains("1024 bytes"));
        QCOMPARE(b.send("C").size(), 3 + 128 + 2);
    }

    // Loading and saving whole files is seen through lodvane-sim in the
    // device tests; here the model's own rules and failures.
    void norFlash()
    {
        QTemporaryDir dir;
        const std::string path = (dir.path() + QStringLiteral("/flash.bin")).toStdString();
        sim::NorFlash flash(2 * sim::kFlashBlockBytes);
        std::string error;
        QVERIFY(flash.load(path, error)); // no file yet: erased
        // Out of range: refused, nothing changes.
        const std::uint8_t zero[2] = {0, 0};
        std::uint8_t out[4];
        QVERIFY(!flash.program(2 * sim::kFlashBlockBytes - 1, zero, 2));
        QVERIFY(!flash.read(2 * sim::kFlashBlockBytes - 1, out, 2));
        QVERIFY(!flash.dirty());
        // Programming only clears bits; an erase sets them again.
        const std::uint8_t first[] = {0xF0, 0xF0, 0xFF, 0x00}, second[] = {0x3C, 0x0F, 0x5A, 0xFF};
        QVERIFY(flash.program(sim::kFlashBlockBytes + 5, first, 4));
        QVERIFY(flash.program(sim::kFlashBlockBytes + 5, second, 4));
        QVERIFY(flash.read(sim::kFlashBlockBytes + 5, out, 4));
        QCOMPARE(QByteArray(reinterpret_cast<char *>(out), 4).toHex(), QByteArray("30005a00"));
        QVERIFY(flash.dirty());
        QVERIFY2(flash.save(path, error), error.c_str());
        QVERIFY(!QFile::exists(QString::fromStdString(path + ".part")));
        QVERIFY(flash.eraseBlock(1));
        QVERIFY(flash.read(sim::kFlashBlockBytes + 5, out, 4));
        QCOMPARE(QByteArray(reinterpret_cast<char *>(out), 4).toHex(), QByteArray("ffffffff"));
    }

    // lodvane-sim as a user starts it: its command line, the port line it
    // prints, its link, its trace and its diagnostics on stderr.
    void portLinkAndDiagnostics()
    {
        QTemporaryDir dir;
        SimProcess sim(dir.path());
        const QString link = dir.filePath(QStringLiteral("board"));
        QVERIFY2(sim.start({QStringLiteral("--link"), link, QStringLiteral("--core"), QStringLiteral("BF592")}),
                 qPrintable(sim.lastError()));
        QCOMPARE(QFileInfo(link).symLinkTarget(), sim.port());

        QPE host;
        QVERIFY(host.openPort(link, 115200, 1000));
        QCOMPARE(host.write(QByteArray(1, 0x40), true), 1u);
        QVERIFY(host.pollWait(4));
        QCOMPARE(host.readAll().toHex(), QByteArray("bf2b0000"));
        // The BF51x loader on an ADSP-BF592 (no stacked FLASH: 4 MiB outside):
        // the board runs it and says so on stderr.
        const QByteArray loader = toBytes(sim::loaderImage("BF51x"));
        QCOMPARE(host.write(loader, true), uint(loader.size()));
        QVERIFY(sim.waitForTrace(QStringLiteral("loader start family=BF51x flash=4194304")));
        host.closePort();
        QVERIFY(sim.waitForTrace(QStringLiteral("reset cause=hangup")));

        QCOMPARE(sim.stop(), 0);
        QVERIFY(!QFileInfo::exists(link)); // removed on the way out
        QCOMPARE(sim.traceLines().last(), QStringLiteral("stopped"));
        QCOMPARE(QString::fromLocal8Bit(sim.standardError()),
                 QStringLiteral("lodvane-sim: ADSP-BF592 with 4194304 bytes of FLASH on %1\n"
                                "lodvane-sim: loader for BF51x booted on an ADSP-BF592\n").arg(sim.port()));
    }

    void commandLineErrors_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown option") << QStringList{"--bogus", "x"} << 2 << "unknown option: --bogus";
        QTest::newRow("missing value") << QStringList{"--trace"} << 2 << "unknown option or missing value: --trace";
        QTest::newRow("unknown core") << QStringList{"--core", "BF999"} << 2 << "bad value for --core: BF999";
        // %1: a file of 1000 bytes, which must be left as it was.
        QTest::newRow("FLASH file of the wrong size")
            << QStringList{"--flash", "%1"} << 1 << "FLASH file %1 holds 1000 bytes, the FLASH has 2097152";
    }

    void commandLineErrors()
    {
        QFETCH(QStringList, options);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString shortFile = writeFile(dir.filePath(QStringLiteral("short.bin")), QByteArray(1000, 0));
        QVERIFY(!shortFile.isEmpty());
        options.replaceInStrings(QStringLiteral("%1"), shortFile);
        QProcess p;
        p.start(QStringLiteral(LODVANE_SIM_PATH), options);
        QVERIFY(p.waitForFinished(SimProcess::kStartWaitMs));
        QCOMPARE(p.exitCode(), exitCode);
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        QVERIFY2(err.startsWith(QStringLiteral("lodvane-sim: ") + message.replace(QStringLiteral("%1"), shortFile) + '\n'),
                 qPrintable(err));
        QCOMPARE(readFile(shortFile), QByteArray(1000, 0));
    }
};

QTEST_GUILESS_MAIN(TestSimBoard)
#include "tst_simboard.moc"
