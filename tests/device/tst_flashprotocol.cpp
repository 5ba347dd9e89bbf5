// Boot-stream upload and the first-stage loader protocol against the
// virtual board: the frames the board saw (its trace), the LOG lines, the
// line moves, the progress values and the FLASH contents it kept, for the
// uploads, the three sequences and the board's faults.
#include "samplestreams.h"
#include "simlink.h"

#include <QtTest>

namespace {

constexpr unsigned kCore = 6; // ADSP-BF518F16, 2 MiB of stacked FLASH
constexpr int kFlashBytes = 2 * 1024 * 1024;
const QString kWaiting = "Waiting Device starting ...";
const QString kSyncOk = "System sync OK.";

QString loaderPath(unsigned core = kCore)
{
    return QStringLiteral(LODVANE_BIN_DIR "/sys/ADSP-%1/FlashLoader.ldr").arg(core == 7 ? "BF592" : "BF51x");
}

// One sequence with the lines left alone: "erase" (one block), "program" or "verify".
bool runSequence(SimLink &s, const QString &sequence, const QString &path, unsigned core = kCore)
{
    if (sequence == "erase")
        return s.link.eraseFlash(loaderPath(core), core, 1, kResetNone, kLineNone, kLineNone);
    if (sequence == "program")
        return s.link.programFlash(path, loaderPath(core), core, kResetNone, kLineNone, kLineNone);
    return s.link.verifyFlash(path, loaderPath(core), core, kResetNone, kLineNone, kLineNone);
}

} // namespace

class TestFlashProtocol : public QObject
{
    Q_OBJECT

private slots:
    void upload_data()
    {
        QTest::addColumn<QStringList>("options"); // of the board
        QTest::addColumn<int>("size");            // code bytes of the sample stream (0: an empty file)
        QTest::addColumn<QStringList>("lines");   // %port: the port's name
        QTest::addColumn<QList<unsigned>>("progress");
        const QStringList none;
        QTest::newRow("empty file") << none << 0 << QStringList() << QList<unsigned>{100, 100};
        QTest::newRow("10288 bytes: three pieces, the last short")
            << none << 9472 << QStringList{"Loaded byte(s):   4096", "Loaded byte(s):   8192", "Loaded byte(s):  10288"}
            << QList<unsigned>{39, 79, 100, 100};
        // The stream is sent only after an accepted auto-baud answer.
        const QString refused = QStringLiteral("No answer on auto-baud command by device [%port]: Rxed %1 chars\nReset it and retry");
        QTest::newRow("middle bytes of the answer not examined") << QStringList{"--autobaud-answer", "bf,12,34,00"} << 512
                                                                 << QStringList() << QList<unsigned>{100, 100};
        QTest::newRow("wrong first byte") << QStringList{"--autobaud-answer", "be,2b,00,00"} << 512
                                          << QStringList{refused.arg(4)} << QList<unsigned>{100};
        QTest::newRow("wrong last byte") << QStringList{"--autobaud-answer", "bf,2b,00,01"} << 512
                                         << QStringList{refused.arg(4)} << QList<unsigned>{100};
        QTest::newRow("short answer") << QStringList{"--autobaud-answer", "bf,2b"} << 512
                                      << QStringList{refused.arg(2)} << QList<unsigned>{100};
    }

    void upload()
    {
        QFETCH(QStringList, options);
        QFETCH(int, size);
        QFETCH(QStringList, lines);
        QFETCH(QList<unsigned>, progress);
        SimLink s;
        const QByteArray stream = size ? toBytes(sampleStream(std::size_t(size))) : QByteArray();
        QVERIFY2(s.start(options), qPrintable(s.sim.lastError()));
        const bool refused = !lines.filter(QStringLiteral("auto-baud")).isEmpty();
        QCOMPARE(s.link.bootFile(s.writeFile(QStringLiteral("built.ldr"), stream), 4, kResetNone, kLineNone, kLineNone),
                 !refused);
        QCOMPARE(s.lines, lines.replaceInStrings(QStringLiteral("%port"), s.link.portName()));
        QCOMPARE(s.progressValues(), progress);
        // Closing right after the upload, as the actions do, must not cut it short.
        QVERIFY(s.hangUp());
        const QStringList trace = s.sim.traceLines();
        QCOMPARE(trace.filter(QStringLiteral("autobaud baud=115200 divisor=43 ")).size(), 1);
        const auto crc = bootstream::crc32(reinterpret_cast<const std::uint8_t *>(stream.constData()), stream.size());
        const QString arrived = QStringLiteral("stream size=%1 crc32=0x%2 ").arg(stream.size()).arg(crc, 8, 16, QLatin1Char('0'));
        QCOMPARE(trace.filter(arrived).size(), size && !refused ? 1 : 0);
    }

    void lineSequences_data()
    {
        QTest::addColumn<int>("mode"); // -1: the RESET button's pulse alone
        QTest::addColumn<unsigned>("reset");
        QTest::addColumn<unsigned>("boot");
        QTest::addColumn<QStringList>("events");
        const QStringList rts{"RTS 0", "sleep 100", "RTS 1"}, dtr{"DTR 0", "sleep 100", "DTR 1"};
        QTest::newRow("pulse of no line moves DTR the other way") << -1 << 0u << 0u << QStringList{"DTR 1", "sleep 100", "DTR 0"};
        QTest::newRow("pulse RTS with invert bit") << -1 << 0x8001u << 0u << rts; // unmasked it would act as DTR
        QTest::newRow("mode 1, RESET on DTR") << 1 << 2u << 0u << dtr;
        QTest::newRow("mode 2, BOOT on DTR, RESET on RTS")
            << 2 << 1u << 2u << QStringList{"DTR 0", "sleep 10", "RTS 0", "sleep 100", "RTS 1", "DTR 0"};
    }

    void lineSequences()
    {
        QFETCH(int, mode);
        QFETCH(unsigned, reset);
        QFETCH(unsigned, boot);
        QFETCH(QStringList, events);
        SimLink s;
        QVERIFY(s.start());
        // The pseudo-terminal refuses every line change; the upload goes on.
        if (mode < 0)
            s.link.pulseLine(reset, 100);
        else
            QVERIFY(s.link.bootFile(s.writeFile(QStringLiteral("sample.ldr"), toBytes(sampleStream(512))), 7,
                                    unsigned(mode), reset, boot));
        QCOMPARE(s.recorder.events, events);
        QVERIFY(s.link.isOpen());
    }

    // Every line, frame and progress value of whole sequences.
    void sequences_data()
    {
        QTest::addColumn<QString>("sequence");
        QTest::addColumn<int>("size");      // of the image, or the size to erase
        QTest::addColumn<bool>("holdBoot"); // BOOT on RTS, RESET on DTR, invert bits (masked off) on both
        QTest::addColumn<int>("baud");
        QTest::addColumn<QString>("autobaud"); // the board's trace of the auto-baud byte
        const QString fast = "autobaud baud=115200 divisor=43 answer=bf 2b 00 00";
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("frames");
        QTest::addColumn<QList<unsigned>>("progress"); // the loader's upload first
        QTest::newRow("erase 1 byte: one block, lines moved first")
            << "erase" << 1 << true << 115200 << fast << QStringList{kWaiting, kSyncOk, "Erase FLASH -> Block[  0] erased."}
            << QStringList{"sync n=1 ack", "erase block=0 ack"} << QList<unsigned>{100, 100, 0, 0, 100};
        // One block more than the whole blocks in the size, as the loaders expect.
        QTest::newRow("erase 65536 bytes: two blocks")
            << "erase" << 65536 << false << 115200 << fast
            << QStringList{kWaiting, kSyncOk, "Erase FLASH -> Block[  0] erased.", "Erase FLASH -> Block[  1] erased."}
            << QStringList{"sync n=1 ack", "erase block=0 ack", "erase block=1 ack"}
            << QList<unsigned>{100, 100, 0, 0, 50, 100};
        // At 9600 bit/s a 256-byte answer takes about 270 ms and arrives a few
        // bytes at a time: the waits are bounded by time, not by wake-ups. The
        // board's divisor shows that the link set the port's speed.
        QTest::newRow("program 600 bytes at 9600 bit/s: three pieces, the last short")
            << "program" << 600 << false << 9600 << "autobaud baud=9600 divisor=521 answer=bf 09 02 00"
            << QStringList{kWaiting, kSyncOk, "FLASH -> Block[  0] erased.", "FILE -> FLASH[   0]        0 bytes",
                           "FILE -> FLASH[   1]      256 bytes", "FILE -> FLASH[   2]      512 bytes", "FLASH Programmed.",
                           kSyncOk, "FILE == FLASH[   0]        0 bytes", "FILE == FLASH[   1]      256 bytes",
                           "FILE == FLASH[   2]      512 bytes"}
            << QStringList{"sync n=1 ack", "erase block=0 ack", "program piece=0 length=256 ack",
                           "program piece=1 length=256 ack", "program piece=2 length=88 ack", "sync n=2 ack",
                           "read piece=0 length=256 ack", "read piece=1 length=256 ack", "read piece=2 length=88 ack"}
            << QList<unsigned>{100, 100, 0, 42, 85, 100, 0, 42, 85, 100, 100, 100};
        QTest::newRow("program an empty image: nothing erased")
            << "program" << 0 << false << 115200 << fast << QStringList{kWaiting, kSyncOk, "FLASH Programmed.", kSyncOk}
            << QStringList{"sync n=1 ack", "sync n=2 ack"} << QList<unsigned>{100, 100, 0, 0, 100, 100};
    }

    void sequences()
    {
        QFETCH(QString, sequence);
        QFETCH(int, size);
        QFETCH(bool, holdBoot);
        QFETCH(int, baud);
        QFETCH(QString, autobaud);
        QFETCH(QStringList, lines);
        QFETCH(QStringList, frames);
        QFETCH(QList<unsigned>, progress);
        // The FLASH holds older contents: blocks the sequence does not reach keep them.
        SimLink s;
        QByteArray flash = testPattern(kFlashBytes, 9);
        QVERIFY(s.writeFlash(flash));
        QVERIFY(s.start({"--baud", QString::number(baud)}, baud));
        const QByteArray image = sequence == "program" ? testPattern(size, 3) : QByteArray();
        const ResetMode mode = holdBoot ? kResetHoldBoot : kResetNone;
        const ControlLine reset = holdBoot ? kLineDtr | kLineInvertFlag : kLineNone;
        const ControlLine boot = holdBoot ? kLineRts | kLineInvertFlag : kLineNone;
        if (sequence == "erase")
            QVERIFY(s.link.eraseFlash(loaderPath(), kCore, unsigned(size), mode, reset, boot));
        else
            QVERIFY(s.link.programFlash(s.writeFile("image.ldr", image), loaderPath(), kCore, mode, reset, boot));
        QCOMPARE(s.lines, lines);
        QCOMPARE(s.progressValues(), progress);
        QStringList events{"sleep 500"}; // the loader starting
        if (sequence == "erase")
            events << "sleep 100"; // after the sync byte
        if (holdBoot)
            events = QStringList{"RTS 0", "sleep 10", "DTR 0", "sleep 100", "DTR 1", "RTS 0"} + events;
        QCOMPARE(s.recorder.events, events);
        // Stopped while the host still holds the port: no hang-up reset saves
        // the FLASH first, the signal has to.
        QCOMPARE(s.sim.stop(SIGTERM), 0);
        QCOMPARE(s.frames(), frames);
        QCOMPARE(s.sim.traceLines().filter("autobaud "), QStringList{autobaud});
        const int erased = frames.filter("erase ").size() * 65536;
        QVERIFY(s.flash() == flash.replace(0, erased, QByteArray(erased, '\xFF')).replace(0, image.size(), image));
    }

    // A failed sync writes nothing and leaves the progress full; erase goes
    // on without one, and its first erase frame decides. After the sync,
    // progress stops at the last piece that went through.
    void failures_data()
    {
        QTest::addColumn<QString>("sequence");
        QTest::addColumn<QStringList>("options");      // of the board
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("syncs");                // sync frames the board saw
        QTest::addColumn<QStringList>("lines");        // the last LOG lines
        QTest::addColumn<QList<unsigned>>("progress"); // the last progress values
        QTest::addColumn<QString>("lastFrame");        // of the board's trace
        auto row = [](const char *name, const char *sequence, const QStringList &options, bool ok, int syncs,
                      const QStringList &lines, const QList<unsigned> &progress, const char *lastFrame) {
            QTest::newRow(name) << QString(sequence) << options << ok << syncs << lines << progress << QString(lastFrame);
        };
        // Every row runs on a 300-byte image (two pieces) that the FLASH already holds.
        const QStringList none{"--no-sync-ack"}, erased{"Erase FLASH -> Block[  0] erased."};
        const QString piece0 = "FILE == FLASH[   0]        0 bytes", piece1 = "FILE == FLASH[   1]      256 bytes";
        row("erase, no sync", "erase", none, true, 4, QStringList{kWaiting} + erased, {0, 0, 100}, "erase block=0 ack");
        row("program, no sync", "program", none, false, 4, {kWaiting}, {100, 0, 100}, "sync n=4 unanswered");
        // The last of the four attempts still counts; the rows without a sync show there is no fifth.
        row("program, fourth attempt", "program", {"--ack-sync", "4"}, true, 5,
            {"FLASH Programmed.", kSyncOk, piece0, piece1}, {100, 100, 100}, "read piece=1 length=44 ack");
        row("dropped acknowledge: nothing said of the loss", "program", {"--drop-ack-after", "1"}, false, 1,
            {"FLASH -> Block[  0] erased.", "FILE -> FLASH[   0]        0 bytes"}, {0, 85},
            "program piece=1 length=44 dropped");
        // The program pass ends full all the same.
        row("verify error after a program, small value expected", "program", {"--corrupt-read", "110"}, false, 2,
            {"FLASH Programmed.", kSyncOk, "FLASH verify error @ 110, found f5 instead of  a"}, {100, 0, 100},
            "read piece=0 length=256 ack");
        // Silent after the auto-baud answer (4 bytes), the sync acknowledge and part of a read.
        row("silent inside the data of piece 1", "verify", {"--mute-after", "282"}, false, 1,
            {piece0, "Sync error on transferred FLASH contents."}, {0, 85}, "mute after=282");
    }

    void failures()
    {
        QFETCH(QString, sequence);
        QFETCH(QStringList, options);
        QFETCH(bool, ok);
        QFETCH(int, syncs);
        QFETCH(QStringList, lines);
        QFETCH(QList<unsigned>, progress);
        QFETCH(QString, lastFrame);
        SimLink s;
        const QByteArray image = testPattern(300, 8);
        QVERIFY(s.writeFlash(image + QByteArray(kFlashBytes - image.size(), '\xFF')));
        QVERIFY(s.start(options));
        QCOMPARE(runSequence(s, sequence, s.writeFile("image.ldr", image)), ok);
        QCOMPARE(s.lines.mid(s.lines.size() - lines.size()), lines);
        QCOMPARE(s.progressValues().mid(s.progressValues().size() - progress.size()), progress);
        // The erase rule sleeps 100 ms after every sync byte it sends.
        if (sequence == "erase")
            QCOMPARE(s.recorder.events.count("sleep 100"), syncs);
        QVERIFY(s.hangUp());
        QCOMPARE(s.frames().filter("sync ").size(), syncs);
        QCOMPARE(s.frames().last(), lastFrame);
    }

    void refusedThenProgramAcrossBlocks()
    {
        // A core outside the catalogue: nothing is sent, no LOG line.
        SimLink s;
        QVERIFY(s.start({"--core", "7"}));
        const QString sample = s.writeFile("sample.ldr", toBytes(sampleStream(512)));
        for (unsigned core : {0u, 8u}) {
            QVERIFY(!s.link.eraseBlocks(core, 1));
            QVERIFY(!s.link.programData(core, testPattern(10)));
            QVERIFY(!s.link.verifyData(core, testPattern(10)));
            QVERIFY(!s.link.bootFile(sample, core, kResetNone, kLineNone, kLineNone));
        }
        QVERIFY(s.lines.isEmpty());
        QVERIFY(s.sim.traceLines().filter("autobaud").isEmpty());
        // A missing file moves no line; a missing binary is found once the
        // loader went up, and progress stays where the upload left it.
        const QString path = s.dir.filePath("missing.ldr");
        QVERIFY(!s.link.bootFile(path, 4, kResetHoldBoot, kLineDtr, kLineRts));
        QVERIFY(s.recorder.events.isEmpty());
        QVERIFY(!runSequence(s, "program", path));
        QVERIFY(!runSequence(s, "verify", path));
        const QString error = QStringLiteral("Error while opening file [%1]").arg(path);
        QCOMPARE(s.lines, (QStringList{error, error, error}));
        QCOMPARE(s.progressValues(),
                 (QList<unsigned>{0, 100, 0, 100, 0, 100, 100, 0, 100, 0, 100, 0, 100, 100, 100, 100, 100, 100}));

        // On the same board, block 1 is erased just before the piece that
        // reaches it, a one-byte piece whose number needs two bytes; the BF592
        // loader on its 4 MiB.
        s.lines.clear();
        const QByteArray image = testPattern(65537, 4);
        QVERIFY(runSequence(s, "program", s.writeFile("image.ldr", image), 7));
        QCOMPARE(s.lines.size(), 2 + 1 + 256 + 1 + 1 + 1 + 1 + 257);
        QCOMPARE(s.lines.mid(258, 4), (QStringList{"FILE -> FLASH[ 255]    65280 bytes", "FLASH -> Block[  1] erased.",
                                                   "FILE -> FLASH[ 256]    65536 bytes", "FLASH Programmed."}));
        QCOMPARE(s.lines.last(), QStringLiteral("FILE == FLASH[ 256]    65536 bytes"));
        QCOMPARE(s.sim.stop(SIGINT), 0); // the FLASH saved on this signal too, the port still held
        QVERIFY(s.sim.traceLines().filter("reset cause=hangup").isEmpty());
        const QStringList frames = s.frames();
        QVERIFY(s.sim.traceLines().contains("loader start family=BF592 flash=4194304"));
        QCOMPARE(frames.mid(258, 2), (QStringList{"erase block=1 ack", "program piece=256 length=1 ack"}));
        QCOMPARE(frames.last(), QStringLiteral("read piece=256 length=1 ack"));
        QCOMPARE(s.flash().left(65537), image);
    }
};

QTEST_GUILESS_MAIN(TestFlashProtocol)
#include "tst_flashprotocol.moc"
