// The first-stage loader protocol against the virtual board: the frames the
// board saw (its trace), the LOG lines, the progress values and the FLASH
// contents it kept, for the three sequences and the board's faults.
#include "simlink.h"

#include <QtTest>

namespace {

constexpr unsigned kCore = 6; // ADSP-BF518F16, 2 MiB of stacked FLASH
constexpr int kFlashBytes = 2 * 1024 * 1024;

QString loaderPath(const char *family = "BF51x")
{
    return QStringLiteral(LODVANE_BIN_DIR "/sys/ADSP-%1/FlashLoader.ldr").arg(QLatin1String(family));
}

enum class Pass { ProgramLog, VerifyLog, ProgramFrames, ReadFrames };

// What one pass over an image of `size` bytes shows, piece by piece: the LOG
// lines, or the frames the board traced.
QStringList perPiece(Pass pass, int size)
{
    QStringList out;
    for (int offset = 0; offset < size; offset += 256) {
        const int piece = offset / 256, length = qMin(256, size - offset), block = offset / 65536;
        const bool newBlock = offset % 65536 == 0;
        switch (pass) {
        case Pass::ProgramLog:
            if (newBlock)
                out << QStringLiteral("FLASH -> Block[%1] erased.").arg(block, 3);
            out << QStringLiteral("FILE -> FLASH[%1] %2 bytes").arg(piece, 4).arg(offset, 8);
            break;
        case Pass::VerifyLog:
            out << QStringLiteral("FILE == FLASH[%1] %2 bytes").arg(piece, 4).arg(offset, 8);
            break;
        case Pass::ProgramFrames:
            if (newBlock)
                out << QStringLiteral("erase block=%1 ack").arg(block);
            out << QStringLiteral("program piece=%1 length=%2 ack").arg(piece).arg(length);
            break;
        case Pass::ReadFrames:
            out << QStringLiteral("read piece=%1 length=%2 ack").arg(piece).arg(length);
        }
    }
    return out;
}

QList<unsigned> pieceProgress(int size)
{
    QList<unsigned> out{0};
    for (quint32 offset = 0; offset < quint32(size);) {
        offset = qMin<quint32>(offset + 256, quint32(size));
        out << offset * 100 / quint32(size);
    }
    return out;
}

// Writes `image` as image.ldr and into an otherwise erased FLASH; its path.
QString imageInFlash(SimLink &s, const QByteArray &image)
{
    QByteArray flash(kFlashBytes, '\xFF');
    flash.replace(0, image.size(), image);
    return s.writeFlash(flash) ? s.writeFile(QStringLiteral("image.ldr"), image) : QString();
}

// One sequence with the lines left alone: "erase" (one block), "program" or "verify".
bool runSequence(SimLink &s, const QString &sequence, const QString &path, unsigned core = kCore)
{
    const QString loader = loaderPath(core == 7 ? "BF592" : "BF51x");
    if (sequence == QLatin1String("erase"))
        return s.link.eraseFlash(loader, core, 1, kResetNone, kLineNone, kLineNone);
    if (sequence == QLatin1String("program"))
        return s.link.programFlash(path, loader, core, kResetNone, kLineNone, kLineNone);
    return s.link.verifyFlash(path, loader, core, kResetNone, kLineNone, kLineNone);
}

// What the link reports while the loader goes up (560 bytes: no "Loaded" lines).
const QStringList kStartLines{QStringLiteral("Waiting Device starting ...")};
const QList<unsigned> kUploadProgress{100, 100};
const QString kSyncOk = QStringLiteral("System sync OK.");

} // namespace

class TestFlashProtocol : public QObject
{
    Q_OBJECT

private slots:
    void eraseBlockCount_data();
    void eraseBlockCount();
    void programAndVerify_data();
    void programAndVerify();
    void verifyFindsDifferences_data();
    void verifyFindsDifferences();
    void corruptedReadBack();
    void droppedAcknowledge();
    void loaderFallsSilent_data();
    void loaderFallsSilent();
    void syncRules_data();
    void syncRules();
    void refusedBeforeTheLoaderRuns();
    void lowBaudRateReadPieces();
    void flashKeptWhenStopped_data();
    void flashKeptWhenStopped();
};

void TestFlashProtocol::eraseBlockCount_data()
{
    QTest::addColumn<unsigned>("size");
    QTest::addColumn<int>("blocks");
    QTest::addColumn<bool>("holdBoot"); // BOOT on RTS, RESET on DTR with its invert bit
    QTest::newRow("2 MiB: 33 blocks") << 2097152u << 33 << false;
    QTest::newRow("1 byte: one block, lines moved first") << 1u << 1 << true;
    QTest::newRow("65535 bytes: one block") << 65535u << 1 << false;
}

void TestFlashProtocol::eraseBlockCount()
{
    QFETCH(unsigned, size);
    QFETCH(int, blocks);
    QFETCH(bool, holdBoot);

    SimLink s;
    QByteArray old = testPattern(kFlashBytes);
    QVERIFY(s.writeFlash(old));
    QVERIFY(s.start());
    if (holdBoot)
        QVERIFY(s.link.eraseFlash(loaderPath(), kCore, size, kResetHoldBoot, kLineDtr | kLineInvertFlag, kLineRts));
    else
        QVERIFY(s.link.eraseFlash(loaderPath(), kCore, size, kResetNone, kLineNone, kLineNone));

    QStringList lines = kStartLines;
    QStringList frames{QStringLiteral("sync n=1 ack")};
    QList<unsigned> progress = kUploadProgress;
    progress << 0;
    lines << kSyncOk;
    for (int b = 0; b < blocks; ++b) {
        lines << QStringLiteral("Erase FLASH -> Block[%1] erased.").arg(b, 3);
        frames << QStringLiteral("erase block=%1 %2ack").arg(b).arg(b < 32 ? "" : "past-end ");
        progress << unsigned(100 * b / blocks);
    }
    progress << 100;
    QCOMPARE(s.lines, lines);
    QCOMPARE(s.progressValues(), progress);
    if (blocks == 33)
        QCOMPARE(progress.mid(2, 4), (QList<unsigned>{0, 0, 3, 6}));
    QStringList events{"sleep 500", "sleep 100"};
    if (holdBoot)
        events = QStringList{"RTS 0", "sleep 10", "DTR 0", "sleep 100", "DTR 1", "RTS 0"} + events;
    QCOMPARE(s.recorder.events, events);

    QVERIFY(s.hangUp());
    QCOMPARE(s.frames(), frames);
    old.replace(0, qMin(blocks, 32) * 65536, QByteArray(qMin(blocks, 32) * 65536, '\xFF'));
    QVERIFY(s.flash() == old);
}

void TestFlashProtocol::programAndVerify_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<unsigned>("core");
    QTest::newRow("65537 bytes: block 1 before the one-byte piece") << 65537 << kCore;
    QTest::newRow("empty image") << 0 << kCore;
    QTest::newRow("BF592 loader") << 1000 << 7u;
}

void TestFlashProtocol::programAndVerify()
{
    QFETCH(int, size);
    QFETCH(unsigned, core);

    // The FLASH holds older contents: blocks the image does not reach keep them.
    SimLink s;
    const QByteArray image = testPattern(size, 3);
    const QString path = s.writeFile(QStringLiteral("image.ldr"), image);
    const int flashBytes = core == 7 ? 4 * 1024 * 1024 : kFlashBytes;
    QByteArray old = testPattern(flashBytes, 9);
    QVERIFY(s.writeFlash(old));
    QVERIFY(s.start({QStringLiteral("--core"), QString::number(core)}));
    QVERIFY(runSequence(s, QStringLiteral("program"), path, core));

    QCOMPARE(s.lines, (kStartLines + QStringList{kSyncOk} + perPiece(Pass::ProgramLog, size)
                       + QStringList{QStringLiteral("FLASH Programmed."), kSyncOk} + perPiece(Pass::VerifyLog, size)));
    QList<unsigned> progress = kUploadProgress + pieceProgress(size);
    if (size == 0)
        progress << 0 << 100; // the verify pass of an empty image
    else
        progress << pieceProgress(size) << 100;
    QCOMPARE(s.progressValues(), progress << 100);

    QVERIFY(s.hangUp());
    QCOMPARE(s.frames(), (QStringList{"sync n=1 ack"} + perPiece(Pass::ProgramFrames, size)
                          + QStringList{"sync n=2 ack"} + perPiece(Pass::ReadFrames, size)));
    QVERIFY(s.sim.traceLines().contains(QStringLiteral("loader start family=%1 flash=%2")
                                            .arg(core == 7 ? "BF592" : "BF51x")
                                            .arg(flashBytes)));
    const int erased = (size + 65535) / 65536 * 65536;
    old.replace(0, erased, QByteArray(erased, '\xFF'));
    old.replace(0, size, image);
    QVERIFY(s.flash() == old);
}

void TestFlashProtocol::verifyFindsDifferences_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<char>("inFlash");
    QTest::addColumn<char>("inImage");
    QTest::addColumn<QString>("error");
    QTest::newRow("small values padded") << 5 << '\x05' << '\x0A' << "FLASH verify error @ 5, found  5 instead of  a";
    QTest::newRow("last byte") << 999 << '\x00' << '\x80' << "FLASH verify error @ 999, found  0 instead of 80";
}

void TestFlashProtocol::verifyFindsDifferences()
{
    QFETCH(int, offset);
    QFETCH(char, inFlash);
    QFETCH(char, inImage);
    QFETCH(QString, error);

    SimLink s;
    QByteArray image = testPattern(1000, 2);
    image[offset] = inFlash;
    QVERIFY(!imageInFlash(s, image).isEmpty());
    image[offset] = inImage;
    const QString path = s.writeFile(QStringLiteral("image.ldr"), image);
    QVERIFY(s.start());
    QVERIFY(!runSequence(s, QStringLiteral("verify"), path));

    QCOMPARE(s.lines, (kStartLines + QStringList{kSyncOk} + perPiece(Pass::VerifyLog, offset / 256 * 256) + QStringList{error}));
    // Progress stops at the last piece that matched.
    QCOMPARE(s.progressValues(), kUploadProgress + pieceProgress(1000).mid(0, offset / 256 + 1));
    QVERIFY(s.hangUp());
    QCOMPARE(s.frames().last(), perPiece(Pass::ReadFrames, 1000).at(offset / 256));
}

void TestFlashProtocol::corruptedReadBack()
{
    SimLink s;
    const QByteArray image = testPattern(1000, 5);
    const QString path = s.writeFile(QStringLiteral("image.ldr"), image);
    QVERIFY(s.start({QStringLiteral("--corrupt-read"), QStringLiteral("700")}));
    QVERIFY(!runSequence(s, QStringLiteral("program"), path));
    const auto good = quint8(image.at(700));
    QCOMPARE(s.lines.last(), QStringLiteral("FLASH verify error @ 700, found %1 instead of %2")
                                 .arg(quint8(~good), 2, 16)
                                 .arg(good, 2, 16));
    QVERIFY(s.lines.contains(QStringLiteral("FLASH Programmed.")));
    QCOMPARE(s.lines.filter(QStringLiteral("FILE == FLASH")).size(), 2);
    // Programming wrote the image correctly; only the read-back lied.
    QVERIFY(s.hangUp());
    QCOMPARE(s.flash().left(1000), image);
}

void TestFlashProtocol::droppedAcknowledge()
{
    SimLink s;
    const QByteArray image = testPattern(1000, 6);
    const QString path = s.writeFile(QStringLiteral("image.ldr"), image);
    QVERIFY(s.start({QStringLiteral("--drop-ack-after"), QStringLiteral("2")}));
    QVERIFY(!runSequence(s, QStringLiteral("program"), path));

    QCOMPARE(s.lines, (kStartLines + QStringList{kSyncOk} + perPiece(Pass::ProgramLog, 512))); // nothing for the loss
    QCOMPARE(s.progressValues(), (kUploadProgress + QList<unsigned>{0, 25, 51}));
    QVERIFY(s.hangUp());
    QCOMPARE(s.frames(), (QStringList{"sync n=1 ack", "erase block=0 ack", "program piece=0 length=256 ack",
                                      "program piece=1 length=256 ack", "program piece=2 length=256 dropped"}));
    // The FLASH is left as far as the sequence got.
    QCOMPARE(s.flash().left(512), image.left(512));
    QVERIFY(s.flash().mid(512, 488) == QByteArray(488, '\xFF'));
}

void TestFlashProtocol::loaderFallsSilent_data()
{
    QTest::addColumn<int>("answered"); // bytes the board sends after the upload
    QTest::addColumn<QString>("last");
    // 1 sync acknowledge, then 256 data bytes and an acknowledge per piece.
    QTest::newRow("inside the data of piece 1") << 1 + 257 + 100 << "FILE == FLASH[   0]        0 bytes";
    QTest::newRow("before the acknowledge of piece 2") << 1 + 257 + 257 + 256 << "FILE == FLASH[   1]      256 bytes";
    QTest::newRow("before the sync acknowledge") << 0 << "Waiting Device starting ...";
}

void TestFlashProtocol::loaderFallsSilent()
{
    QFETCH(int, answered);
    QFETCH(QString, last);

    SimLink s;
    const QString path = imageInFlash(s, testPattern(1000, 7));
    QVERIFY(s.start({QStringLiteral("--mute-after"), QString::number(4 + answered)}));
    QVERIFY(!runSequence(s, QStringLiteral("verify"), path));
    if (answered == 0) {
        QCOMPARE(s.lines, kStartLines);
        QCOMPARE(s.progressValues().mid(2), (QList<unsigned>{0, 100}));
        QVERIFY(s.hangUp());
        QCOMPARE(s.frames().filter(QStringLiteral("sync ")).size(), 4);
    } else {
        QCOMPARE(s.lines.mid(s.lines.size() - 2),
                 (QStringList{last, QStringLiteral("Sync error on transferred FLASH contents.")}));
    }
}

void TestFlashProtocol::syncRules_data()
{
    QTest::addColumn<QString>("sequence");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("syncs");        // sync frames the board saw
    QTest::addColumn<int>("syncOkLines");

    const QStringList none{"--no-sync-ack"};
    // Erase goes on without a sync; the first erase frame decides.
    QTest::newRow("erase, no sync") << "erase" << none << true << 4 << 0;
    QTest::newRow("program, no sync") << "program" << none << false << 4 << 0;
    QTest::newRow("verify, no sync") << "verify" << none << false << 4 << 0;
    QTest::newRow("erase, fourth attempt") << "erase" << QStringList{"--ack-sync", "4"} << true << 4 << 1;
    QTest::newRow("program, fourth attempt") << "program" << QStringList{"--ack-sync", "4"} << true << 5 << 2;
    QTest::newRow("verify, third attempt") << "verify" << QStringList{"--ack-sync", "3"} << true << 3 << 1;
    QTest::newRow("program, fifth would be too late") << "program" << QStringList{"--ack-sync", "5"} << false << 4 << 0;
}

void TestFlashProtocol::syncRules()
{
    QFETCH(QString, sequence);
    QFETCH(QStringList, options);
    QFETCH(bool, result);
    QFETCH(int, syncs);
    QFETCH(int, syncOkLines);

    SimLink s;
    const QString path = imageInFlash(s, testPattern(300, 8));
    QVERIFY(s.start(options));
    QCOMPARE(runSequence(s, sequence, path), result);
    QCOMPARE(s.lines.count(kSyncOk), syncOkLines);
    if (!result) {
        QCOMPARE(s.lines, kStartLines); // a failed sync writes nothing
        QCOMPARE(s.progressValues().mid(2), (QList<unsigned>{0, 100}));
    }
    // The erase rule sleeps 100 ms after every sync byte it sends.
    if (sequence == QLatin1String("erase"))
        QCOMPARE(s.recorder.events.count(QStringLiteral("sleep 100")), qMin(syncs, 4));
    QVERIFY(s.hangUp());
    QCOMPARE(s.frames().filter(QStringLiteral("sync ")).size(), syncs);
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
    const QString path = s.writeFile(QStringLiteral("image.ldr"), image);
    QVERIFY(s.start({QStringLiteral("--baud"), QStringLiteral("9600")}, 9600));
    QVERIFY2(runSequence(s, QStringLiteral("program"), path), qPrintable(s.lines.join(QLatin1Char('\n'))));
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
    const QString path = s.writeFile(QStringLiteral("image.ldr"), image);
    QVERIFY(s.start());
    QVERIFY(runSequence(s, QStringLiteral("program"), path));
    QCOMPARE(s.sim.stop(stopSignal), 0);
    const QByteArray flash = s.flash();
    QCOMPARE(flash.size(), kFlashBytes);
    QCOMPARE(flash.left(image.size()), image);
    QVERIFY(s.sim.traceLines().filter(QStringLiteral("reset cause=hangup")).isEmpty());
}

QTEST_GUILESS_MAIN(TestFlashProtocol)
#include "tst_flashprotocol.moc"
