// The first-stage loader protocol against the virtual board: the frames the
// board saw (its trace), the LOG lines, the progress values and the FLASH
// contents it kept, for the three sequences and the board's faults.
#include "simlink.h"

#include <QtTest>

namespace {

constexpr unsigned kCore = 6; // ADSP-BF518F16, 2 MiB of stacked FLASH
constexpr int kFlashBytes = 2 * 1024 * 1024;
const QString kWaiting = QStringLiteral("Waiting Device starting ...");
const QString kSyncOk = QStringLiteral("System sync OK.");

QString loaderPath(unsigned core = kCore)
{
    return QStringLiteral(LODVANE_BIN_DIR "/sys/ADSP-%1/FlashLoader.ldr").arg(core == 7 ? "BF592" : "BF51x");
}

// One sequence with the lines left alone: "erase" (one block), "program" or "verify".
bool runSequence(SimLink &s, const QString &sequence, const QString &path, unsigned core = kCore)
{
    if (sequence == QLatin1String("erase"))
        return s.link.eraseFlash(loaderPath(core), core, 1, kResetNone, kLineNone, kLineNone);
    if (sequence == QLatin1String("program"))
        return s.link.programFlash(path, loaderPath(core), core, kResetNone, kLineNone, kLineNone);
    return s.link.verifyFlash(path, loaderPath(core), core, kResetNone, kLineNone, kLineNone);
}

template <typename List> List lastOf(const List &list, int count)
{
    return list.mid(qMax(0, list.size() - count));
}

} // namespace

class TestFlashProtocol : public QObject
{
    Q_OBJECT

private slots:
    void eraseBlocks_data();
    void eraseBlocks();
    void programThenVerify_data();
    void programThenVerify();
    void programAcrossBlocks();
    void failures_data();
    void failures();
    void refusedBeforeTheLoaderRuns();
    void lowBaudRateReadPieces();
    void flashKeptWhenStopped_data();
    void flashKeptWhenStopped();
};

void TestFlashProtocol::eraseBlocks_data()
{
    QTest::addColumn<unsigned>("size");
    QTest::addColumn<bool>("holdBoot"); // BOOT on RTS, RESET on DTR with its invert bit
    QTest::addColumn<QStringList>("erased");
    QTest::addColumn<QList<unsigned>>("progress");
    QTest::newRow("1 byte: one block, lines moved first")
        << 1u << true << QStringList{"Erase FLASH -> Block[  0] erased."} << QList<unsigned>{0, 0, 100};
    // One block more than the whole blocks in the size, as the loaders expect.
    QTest::newRow("65536 bytes: two blocks")
        << 65536u << false << QStringList{"Erase FLASH -> Block[  0] erased.", "Erase FLASH -> Block[  1] erased."}
        << QList<unsigned>{0, 0, 50, 100};
}

void TestFlashProtocol::eraseBlocks()
{
    QFETCH(unsigned, size);
    QFETCH(bool, holdBoot);
    QFETCH(QStringList, erased);
    QFETCH(QList<unsigned>, progress);
    SimLink s;
    QByteArray old = testPattern(kFlashBytes);
    QVERIFY(s.writeFlash(old));
    QVERIFY(s.start());
    if (holdBoot)
        QVERIFY(s.link.eraseFlash(loaderPath(), kCore, size, kResetHoldBoot, kLineDtr | kLineInvertFlag, kLineRts));
    else
        QVERIFY(s.link.eraseFlash(loaderPath(), kCore, size, kResetNone, kLineNone, kLineNone));

    QCOMPARE(s.lines, QStringList({kWaiting, kSyncOk}) + erased);
    QCOMPARE(s.progressValues(), QList<unsigned>({100, 100}) + progress); // the loader's upload first
    QStringList events{"sleep 500", "sleep 100"}; // the loader starting, then the sync
    if (holdBoot)
        events = QStringList{"RTS 0", "sleep 10", "DTR 0", "sleep 100", "DTR 1", "RTS 0"} + events;
    QCOMPARE(s.recorder.events, events);
    QVERIFY(s.hangUp());
    QCOMPARE(s.frames(), QStringList({"sync n=1 ack", "erase block=0 ack", "erase block=1 ack"}).mid(0, 1 + erased.size()));
    old.replace(0, erased.size() * 65536, QByteArray(erased.size() * 65536, '\xFF'));
    QVERIFY(s.flash() == old);
}

void TestFlashProtocol::programThenVerify_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<QList<unsigned>>("progress");
    QTest::newRow("600 bytes: three pieces, the last short")
        << 600
        << QStringList{kWaiting, kSyncOk, "FLASH -> Block[  0] erased.", "FILE -> FLASH[   0]        0 bytes",
                       "FILE -> FLASH[   1]      256 bytes", "FILE -> FLASH[   2]      512 bytes", "FLASH Programmed.",
                       kSyncOk, "FILE == FLASH[   0]        0 bytes", "FILE == FLASH[   1]      256 bytes",
                       "FILE == FLASH[   2]      512 bytes"}
        << QStringList{"sync n=1 ack", "erase block=0 ack", "program piece=0 length=256 ack",
                       "program piece=1 length=256 ack", "program piece=2 length=88 ack", "sync n=2 ack",
                       "read piece=0 length=256 ack", "read piece=1 length=256 ack", "read piece=2 length=88 ack"}
        << QList<unsigned>{100, 100, 0, 42, 85, 100, 0, 42, 85, 100, 100, 100};
    QTest::newRow("empty image: nothing erased")
        << 0 << QStringList{kWaiting, kSyncOk, "FLASH Programmed.", kSyncOk}
        << QStringList{"sync n=1 ack", "sync n=2 ack"} << QList<unsigned>{100, 100, 0, 0, 100, 100};
}

void TestFlashProtocol::programThenVerify()
{
    QFETCH(int, size);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, frames);
    QFETCH(QList<unsigned>, progress);
    // The FLASH holds older contents: blocks the image does not reach keep them.
    SimLink s;
    const QByteArray image = testPattern(size, 3);
    QByteArray old = testPattern(kFlashBytes, 9);
    QVERIFY(s.writeFlash(old));
    QVERIFY(s.start());
    QVERIFY(runSequence(s, QStringLiteral("program"), s.writeFile(QStringLiteral("image.ldr"), image)));
    QCOMPARE(s.lines, lines);
    QCOMPARE(s.progressValues(), progress);
    QVERIFY(s.hangUp());
    QCOMPARE(s.frames(), frames);
    if (size)
        old.replace(0, 65536, QByteArray(65536, '\xFF'));
    QVERIFY(s.flash() == old.replace(0, size, image));
}

void TestFlashProtocol::programAcrossBlocks()
{
    // Block 1 is erased just before the piece that reaches it, a one-byte
    // piece whose number needs two bytes; the BF592 loader on its 4 MiB.
    SimLink s;
    const QByteArray image = testPattern(65537, 4);
    QVERIFY(s.start({QStringLiteral("--core"), QStringLiteral("7")}));
    QVERIFY(runSequence(s, QStringLiteral("program"), s.writeFile(QStringLiteral("image.ldr"), image), 7));
    QCOMPARE(s.lines.size(), 2 + 1 + 256 + 1 + 1 + 1 + 1 + 257);
    QCOMPARE(s.lines.mid(258, 4), (QStringList{"FILE -> FLASH[ 255]    65280 bytes", "FLASH -> Block[  1] erased.",
                                               "FILE -> FLASH[ 256]    65536 bytes", "FLASH Programmed."}));
    QCOMPARE(s.lines.last(), QStringLiteral("FILE == FLASH[ 256]    65536 bytes"));
    QVERIFY(s.hangUp());
    const QStringList frames = s.frames();
    QVERIFY(s.sim.traceLines().contains(QStringLiteral("loader start family=BF592 flash=4194304")));
    QCOMPARE(frames.mid(258, 2), (QStringList{"erase block=1 ack", "program piece=256 length=1 ack"}));
    QCOMPARE(frames.last(), QStringLiteral("read piece=256 length=1 ack"));
    QCOMPARE(s.flash().left(131073), image + QByteArray(131072 - 65537, '\xFF') + '\xFF');
}

void TestFlashProtocol::failures_data()
{
    // Every row runs on a 300-byte image (two pieces) that the FLASH already holds.
    QTest::addColumn<QString>("sequence");
    QTest::addColumn<QStringList>("options");      // of the board
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("syncs");                // sync frames the board saw
    QTest::addColumn<QStringList>("lines");        // the last LOG lines
    QTest::addColumn<QList<unsigned>>("progress"); // the last progress values
    QTest::addColumn<QString>("lastFrame");        // of the board's trace

    // A failed sync writes nothing and leaves the progress full; erase goes
    // on without one, and its first erase frame decides.
    const QStringList none{"--no-sync-ack"}, erased{"Erase FLASH -> Block[  0] erased."};
    const QStringList verified{"FILE == FLASH[   0]        0 bytes", "FILE == FLASH[   1]      256 bytes"};
    const QList<unsigned> failed{100, 0, 100};
    QTest::newRow("erase, no sync") << "erase" << none << true << 4 << QStringList{kWaiting} + erased
                                    << QList<unsigned>{0, 0, 100} << "erase block=0 ack";
    QTest::newRow("program, no sync") << "program" << none << false << 4 << QStringList{kWaiting} << failed
                                      << "sync n=4 unanswered";
    QTest::newRow("verify, no sync") << "verify" << none << false << 4 << QStringList{kWaiting} << failed
                                     << "sync n=4 unanswered";
    QTest::newRow("erase, fourth attempt") << "erase" << QStringList{"--ack-sync", "4"} << true << 4
                                           << QStringList{kSyncOk} + erased << QList<unsigned>{0, 0, 100}
                                           << "erase block=0 ack";
    QTest::newRow("program, fourth attempt") << "program" << QStringList{"--ack-sync", "4"} << true << 5
                                             << QStringList{"FLASH Programmed.", kSyncOk} + verified
                                             << QList<unsigned>{100, 100, 100} << "read piece=1 length=44 ack";
    QTest::newRow("verify, third attempt") << "verify" << QStringList{"--ack-sync", "3"} << true << 3
                                           << QStringList{kSyncOk} + verified << QList<unsigned>{85, 100, 100}
                                           << "read piece=1 length=44 ack";
    QTest::newRow("program, fifth would be too late") << "program" << QStringList{"--ack-sync", "5"} << false << 4
                                                      << QStringList{kWaiting} << failed << "sync n=4 unanswered";
    // Faults after the sync: progress stops at the last piece that went through.
    QTest::newRow("dropped acknowledge: nothing said of the loss")
        << "program" << QStringList{"--drop-ack-after", "1"} << false << 1
        << QStringList{"FLASH -> Block[  0] erased.", "FILE -> FLASH[   0]        0 bytes"} << QList<unsigned>{0, 85}
        << "program piece=1 length=44 dropped";
    QTest::newRow("verify error, small value found")
        << "verify" << QStringList{"--corrupt-read", "34"} << false << 1
        << QStringList{kSyncOk, "FLASH verify error @ 34, found  9 instead of f6"} << QList<unsigned>{100, 100, 0}
        << "read piece=0 length=256 ack";
    QTest::newRow("verify error in the read-back of a program, small value expected")
        << "program" << QStringList{"--corrupt-read", "110"} << false << 2
        << QStringList{"FLASH Programmed.", kSyncOk, "FLASH verify error @ 110, found f5 instead of  a"}
        << QList<unsigned>{100, 0, 100} << "read piece=0 length=256 ack"; // the program pass ends full
    QTest::newRow("verify error in the last byte")
        << "verify" << QStringList{"--corrupt-read", "299"} << false << 1
        << QStringList{verified.first(), "FLASH verify error @ 299, found c9 instead of 36"} << QList<unsigned>{0, 85}
        << "read piece=1 length=44 ack";
    // Silent after the auto-baud answer (4 bytes), the sync acknowledge and part of a read.
    const QStringList syncError{verified.first(), "Sync error on transferred FLASH contents."};
    QTest::newRow("silent inside the data of piece 1") << "verify" << QStringList{"--mute-after", "282"} << false << 1
                                                       << syncError << QList<unsigned>{0, 85} << "mute after=282";
    QTest::newRow("silent before the last acknowledge") << "verify" << QStringList{"--mute-after", "306"} << false << 1
                                                        << syncError << QList<unsigned>{0, 85} << "mute after=306";
}

void TestFlashProtocol::failures()
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
    QCOMPARE(runSequence(s, sequence, s.writeFile(QStringLiteral("image.ldr"), image)), ok);
    QCOMPARE(lastOf(s.lines, lines.size()), lines);
    QCOMPARE(lastOf(s.progressValues(), progress.size()), progress);
    // The erase rule sleeps 100 ms after every sync byte it sends.
    if (sequence == QLatin1String("erase"))
        QCOMPARE(s.recorder.events.count(QStringLiteral("sleep 100")), syncs);
    QVERIFY(s.hangUp());
    QCOMPARE(s.frames().filter(QStringLiteral("sync ")).size(), syncs);
    QCOMPARE(s.frames().last(), lastFrame);
}

void TestFlashProtocol::refusedBeforeTheLoaderRuns()
{
    SimLink s;
    QVERIFY(s.start());
    // A core outside the catalogue: nothing is sent, no LOG line.
    for (unsigned core : {0u, 8u}) {
        QVERIFY(!s.link.eraseBlocks(core, 1));
        QVERIFY(!s.link.programData(core, testPattern(10)));
        QVERIFY(!s.link.verifyData(core, testPattern(10)));
    }
    QVERIFY(s.lines.isEmpty());
    QVERIFY(s.sim.traceLines().filter(QStringLiteral("autobaud")).isEmpty());
    // A missing binary: the loader went up each time, progress stays where the upload left it.
    const QString path = s.dir.filePath(QStringLiteral("missing.ldr"));
    QVERIFY(!runSequence(s, QStringLiteral("program"), path));
    QVERIFY(!runSequence(s, QStringLiteral("verify"), path));
    const QString error = QStringLiteral("Error while opening file [%1]").arg(path);
    QCOMPARE(s.lines, (QStringList{error, error}));
    QCOMPARE(s.progressValues(), (QList<unsigned>{0, 100, 0, 100, 0, 100, 0, 100, 0, 100, 0, 100, 100, 100, 100, 100}));
}

void TestFlashProtocol::lowBaudRateReadPieces()
{
    // A 256-byte answer takes about 270 ms at 9600 bit/s and arrives a few
    // bytes at a time; the waits are bounded by time, not by wake-ups. The
    // board's divisor shows that the link set the port's speed.
    SimLink s;
    const QByteArray image = testPattern(600, 9);
    QVERIFY(s.start({QStringLiteral("--baud"), QStringLiteral("9600")}, 9600));
    QVERIFY2(runSequence(s, QStringLiteral("program"), s.writeFile(QStringLiteral("image.ldr"), image)),
             qPrintable(s.lines.join(QLatin1Char('\n'))));
    QCOMPARE(s.lines.filter(QStringLiteral("FILE == FLASH")).size(), 3);
    QVERIFY(s.hangUp());
    QVERIFY(s.sim.traceLines().contains(QStringLiteral("autobaud baud=9600 divisor=521 answer=bf 09 02 00")));
    QCOMPARE(s.flash().left(600), image);
}

void TestFlashProtocol::flashKeptWhenStopped_data()
{
    QTest::addColumn<int>("stopSignal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestFlashProtocol::flashKeptWhenStopped()
{
    // The board is stopped while the host still holds the port: no hang-up
    // reset saves the FLASH first, the signal has to.
    QFETCH(int, stopSignal);
    SimLink s;
    const QByteArray image = testPattern(300, 4);
    QVERIFY(s.start());
    QVERIFY(runSequence(s, QStringLiteral("program"), s.writeFile(QStringLiteral("image.ldr"), image)));
    QCOMPARE(s.sim.stop(stopSignal), 0);
    const QByteArray flash = s.flash();
    QCOMPARE(flash.size(), kFlashBytes);
    QCOMPARE(flash.left(image.size()), image);
    QVERIFY(s.sim.traceLines().filter(QStringLiteral("reset cause=hangup")).isEmpty());
}

QTEST_GUILESS_MAIN(TestFlashProtocol)
#include "tst_flashprotocol.moc"
