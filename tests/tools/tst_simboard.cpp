// The virtual board in-process: what it queues for the line, chunk by chunk,
// the FLASH model and the streams that come with it.
#include "norflash.h"
#include "simboard.h"
#include "simimages.h"
#include "testfiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A board with its FLASH and a trace kept in memory.
struct Bench
{
    sim::Options options;
    sim::NorFlash flash{sim::kDefaultExternalFlashBytes};
    QStringList trace;
    QStringList diagnostics;
    sim::SimBoard board{options, flash,
                        sim::BoardReports{[this](const std::string &l) { trace << QString::fromStdString(l); },
                                          [this](const std::string &l) { diagnostics << QString::fromStdString(l); }}};

    void feed(const QByteArray &bytes)
    {
        for (char c : bytes)
            board.receive(std::uint8_t(c));
    }
    std::vector<sim::OutChunk> drain()
    {
        std::vector<sim::OutChunk> chunks;
        while (board.hasOutput())
            chunks.push_back(board.takeOutput());
        return chunks;
    }
    QByteArray drainBytes()
    {
        QByteArray all;
        for (const sim::OutChunk &c : drain())
            all += toBytes(c.bytes);
        return all;
    }
    void bootDemo()
    {
        board.setHostBaud(115200);
        feed(QByteArray(1, 0x40));
        feed(toBytes(sim::demoImage()));
        drain();
    }
};

} // namespace

class TestSimBoard : public QObject
{
    Q_OBJECT

private slots:
    void uartDivisor_data();
    void uartDivisor();
    void shippedLoadersAreRecognised_data();
    void shippedLoadersAreRecognised();
    void demoImageInExamplesIsCurrent();
    void loaderForAnotherFamilyIsReported();
    void progressUpdatesAreSeparateChunks();
    void htmlIsAChunkOfItsOwn();
    void typedLines_data();
    void typedLines();
    void flashSaveAndLoad();
    void flashRefusesRangesPastTheEnd();
};

void TestSimBoard::uartDivisor_data()
{
    QTest::addColumn<uint>("baud");
    QTest::addColumn<uint>("divisor");
    QTest::newRow("9600") << 9600u << 521u;
    QTest::newRow("115200") << 115200u << 43u;
    QTest::newRow("unknown speed: as 115200") << 0u << 43u;
}

void TestSimBoard::uartDivisor()
{
    QFETCH(uint, baud);
    QFETCH(uint, divisor);
    QCOMPARE(uint(sim::SimBoard::uartDivisor(baud)), divisor);
}

void TestSimBoard::shippedLoadersAreRecognised_data()
{
    QTest::addColumn<QString>("family");
    QTest::newRow("BF51x") << "BF51x";
    QTest::newRow("BF592") << "BF592";
}

void TestSimBoard::shippedLoadersAreRecognised()
{
    QFETCH(QString, family);
    const std::vector<std::uint8_t> image = sim::loaderImage(family.toStdString());
    const bootstream::Walk w = bootstream::walk(image);
    QVERIFY2(w.ok, w.error.c_str());
    QCOMPARE(w.streamSize, image.size());
    QVERIFY(w.blocks.front().flags & bootstream::kFlagFirst);
    QCOMPARE(w.blocks.front().argument, uint(image.size()));
    QCOMPARE(QString::fromStdString(sim::loaderFamily(w.blocks)), family);
    QCOMPARE(QString::fromStdString(sim::loaderFamily(bootstream::walk(sim::demoImage()).blocks)), QString());
    // The build puts them where the program looks: next to its executable.
    QFile f(QCoreApplication::applicationDirPath() + QStringLiteral("/sys/ADSP-%1/FlashLoader.ldr").arg(family));
    QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(f.fileName()));
    QCOMPARE(f.readAll(), toBytes(sim::loaderImage(family.toStdString())));
}

void TestSimBoard::demoImageInExamplesIsCurrent()
{
    QFile f(QStringLiteral(LODVANE_EXAMPLES "/demo-monitor.ldr"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), toBytes(sim::demoImage()));
}

void TestSimBoard::loaderForAnotherFamilyIsReported()
{
    Bench b;
    b.options.coreIndex = 6; // ADSP-BF592
    b.feed(QByteArray(1, 0x40));
    b.feed(toBytes(sim::loaderImage("BF51x")));
    QCOMPARE(b.board.mode(), sim::SimBoard::Mode::Loader);
    QCOMPARE(b.diagnostics, QStringList{"loader for BF51x booted on an ADSP-BF592"});
}

void TestSimBoard::progressUpdatesAreSeparateChunks()
{
    Bench b;
    b.bootDemo();
    b.feed("PROGRESS\r");
    const std::vector<sim::OutChunk> chunks = b.drain();
    QStringList updates;
    for (const sim::OutChunk &c : chunks) {
        const QByteArray text = toBytes(c.bytes);
        if (!text.startsWith("Writing sectors"))
            continue;
        // Each update waits longer than one poll of the terminal (100 ms).
        QVERIFY(c.pauseMsBefore > 100);
        updates << QString::fromLatin1(text);
    }
    QCOMPARE(updates.size(), sim::kProgressSteps + 2);
    QCOMPARE(updates.first(), QStringLiteral("Writing sectors ...   0%\r"));
    QCOMPARE(updates.at(5), QStringLiteral("Writing sectors ...  50%\r"));
    QCOMPARE(updates.last(), QStringLiteral("Writing sectors ... done\r\n"));
    QCOMPARE(toBytes(chunks.back().bytes), QByteArray("bf> "));
}

void TestSimBoard::htmlIsAChunkOfItsOwn()
{
    Bench b;
    b.bootDemo();
    b.feed("html\r");
    const std::vector<sim::OutChunk> chunks = b.drain();
    QCOMPARE(int(chunks.size()), 4 + 1 + 1 + 1); // echo h,t,m,l; CR LF; HTML; prompt
    const sim::OutChunk &html = chunks[5];
    QCOMPARE(html.bytes.front(), sim::kHtmlChunkMarker);
    QVERIFY(html.pauseMsBefore > 100);
    QVERIFY(toBytes(html.bytes).contains("<table"));
    QVERIFY(chunks[6].pauseMsBefore > 100); // the prompt does not join the chunk
}

void TestSimBoard::typedLines_data()
{
    QTest::addColumn<QByteArray>("typed");
    QTest::addColumn<QByteArray>("shown");
    QTest::newRow("CR") << QByteArray("ECHO a\r") << QByteArray("ECHO a\r\na\r\nbf> ");
    QTest::newRow("LF") << QByteArray("ECHO a\n") << QByteArray("ECHO a\r\na\r\nbf> ");
    QTest::newRow("CR LF is one line end") << QByteArray("ECHO a\r\n") << QByteArray("ECHO a\r\na\r\nbf> ");
    QTest::newRow("LF CR is two") << QByteArray("ECHO a\n\r") << QByteArray("ECHO a\r\na\r\nbf> \r\nbf> ");
    QTest::newRow("control bytes ignored") << QByteArray("EC\x01HO\x1b a\r") << QByteArray("ECHO a\r\na\r\nbf> ");
    QTest::newRow("backspace erases") << QByteArray("ECX\bHO ab\r") << QByteArray("ECX\b \bHO ab\r\nab\r\nbf> ");
    QTest::newRow("backspace on an empty line") << QByteArray("\b\r") << QByteArray("\r\nbf> ");
    QTest::newRow("unknown command named")
        << QByteArray("FLY\r") << QByteArray("FLY\r\nUnknown command 'fly'; HELP lists the commands.\r\nbf> ");
}

void TestSimBoard::typedLines()
{
    QFETCH(QByteArray, typed);
    QFETCH(QByteArray, shown);
    Bench b;
    b.bootDemo();
    b.feed(typed);
    QCOMPARE(b.drainBytes(), shown);
    QCOMPARE(b.trace.contains(QStringLiteral("monitor command=echo")), typed.contains("HO"));
}

void TestSimBoard::flashSaveAndLoad()
{
    QTemporaryDir dir;
    const std::string path = (dir.path() + QStringLiteral("/flash.bin")).toStdString();
    sim::NorFlash flash(2 * sim::kFlashBlockBytes);
    std::string error;
    QVERIFY(flash.load(path, error)); // no file yet: erased
    QVERIFY(!flash.dirty());
    const std::uint8_t data[] = {1, 2, 3};
    QVERIFY(flash.program(sim::kFlashBlockBytes + 5, data, 3));
    QVERIFY(flash.dirty());
    QVERIFY2(flash.save(path, error), error.c_str());
    QVERIFY(!QFile::exists(QString::fromStdString(path + ".part")));

    sim::NorFlash again(2 * sim::kFlashBlockBytes);
    QVERIFY(again.load(path, error));
    QCOMPARE(again.contents(), flash.contents());

    sim::NorFlash bigger(4 * sim::kFlashBlockBytes);
    QVERIFY(!bigger.load(path, error));
    QCOMPARE(QString::fromStdString(error), QStringLiteral("FLASH file %1 holds 131072 bytes, the FLASH has 262144")
                                                .arg(QString::fromStdString(path)));
    sim::NorFlash smaller(sim::kFlashBlockBytes);
    QVERIFY(!smaller.load(path, error));
    QVERIFY(QString::fromStdString(error).contains(QStringLiteral("holds 65536+ bytes")));
    QVERIFY(!sim::NorFlash(1 * sim::kFlashBlockBytes).save(dir.path().toStdString() + "/no/such/dir/f.bin", error));
    QVERIFY(QString::fromStdString(error).startsWith(QStringLiteral("cannot write FLASH file")));
}

void TestSimBoard::flashRefusesRangesPastTheEnd()
{
    sim::NorFlash flash(sim::kFlashBlockBytes);
    const std::uint8_t zero[2] = {0, 0};
    std::uint8_t out[2];
    QVERIFY(!flash.program(sim::kFlashBlockBytes - 1, zero, 2));
    QVERIFY(!flash.read(sim::kFlashBlockBytes - 1, out, 2));
    QVERIFY(!flash.eraseBlock(1));
    QVERIFY(!flash.dirty());
    QVERIFY(flash.read(sim::kFlashBlockBytes - 2, out, 2));
    QCOMPARE(out[0], sim::kErasedByte);
}

QTEST_GUILESS_MAIN(TestSimBoard)
#include "tst_simboard.moc"
