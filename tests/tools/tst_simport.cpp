// lodvane-sim as a subprocess, driven over its pseudo-terminal by a client
// written from the protocols (not the program's device link).
#include "boardclient.h"
#include "simimages.h"
#include "simprocess.h"
#include "testfiles.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray loader(const char *family = "BF51x")
{
    return toBytes(sim::loaderImage(family));
}

} // namespace

class TestSimPort : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void printsPortAndLink();
    void autoBaudAnswersTheDivisor_data();
    void autoBaudAnswersTheDivisor();
    void fullLoaderSession();
    void erasePastTheEndIsAcknowledged();
    void flashPersistsAcrossRestarts_data();
    void flashPersistsAcrossRestarts();
    void flashFileOfTheWrongSizeIsRefused();
    void hangUpAndAutoBaudByteReset();
    void badHeaderStopsTheBootRom();
    void realStreamsBootAsApplications_data();
    void realStreamsBootAsApplications();
    void demoMonitorAnswersOverThePort();
    void bootFromFlashRunsTheApplication();
    void faults_data();
    void faults();
    void lineSpeedEmulation();
    void commandLineErrors_data();
    void commandLineErrors();

private:
    QTemporaryDir *dir = nullptr;
    SimProcess *sim = nullptr;
    BoardClient client;

    bool startWithLoader(const QStringList &options = QStringList());
};

void TestSimPort::init()
{
    dir = new QTemporaryDir;
    QVERIFY(dir->isValid());
    sim = new SimProcess(dir->path());
}

void TestSimPort::cleanup()
{
    client.close();
    delete sim;
    sim = nullptr;
    delete dir;
    dir = nullptr;
}

bool TestSimPort::startWithLoader(const QStringList &options)
{
    if (!sim->start(options) || !client.open(sim->port()) || !client.boot(loader()))
        return false;
    return sim->waitForTrace(QStringLiteral("loader start family=BF51x"));
}

void TestSimPort::printsPortAndLink()
{
    const QString link = dir->filePath(QStringLiteral("board"));
    QVERIFY2(sim->start({QStringLiteral("--link"), link}), qPrintable(sim->lastError()));
    QVERIFY(sim->port().startsWith(QStringLiteral("/dev/pts/")));
    QCOMPARE(QFileInfo(link).symLinkTarget(), sim->port());
    QVERIFY(client.open(link));
    QCOMPARE(client.autoBaud().size(), 4);
    client.close();
    QCOMPARE(sim->stop(), 0);
    QVERIFY(!QFileInfo::exists(link)); // removed on the way out
    QVERIFY(sim->traceLines().contains(QStringLiteral("stopped")));
}

void TestSimPort::autoBaudAnswersTheDivisor_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<QByteArray>("answer");
    // 80 MHz / (16 x baud), rounded
    QTest::newRow("9600") << 9600 << QByteArray::fromHex("bf09020000").left(4);
    QTest::newRow("115200") << 115200 << QByteArray::fromHex("bf2b0000");
    QTest::newRow("921600") << 921600 << QByteArray::fromHex("bf050000");
}

void TestSimPort::autoBaudAnswersTheDivisor()
{
    QFETCH(int, baud);
    QFETCH(QByteArray, answer);
    QVERIFY(sim->start());
    QVERIFY(client.open(sim->port(), baud));
    QCOMPARE(client.autoBaud().toHex(), answer.toHex());
    QVERIFY(sim->waitForTrace(QStringLiteral("autobaud baud=%1 ").arg(baud)));
}

void TestSimPort::fullLoaderSession()
{
    QVERIFY(startWithLoader());
    QVERIFY(client.sync());
    QVERIFY(client.erase(0));
    const QByteArray image = testPattern(300, 1);
    QVERIFY(client.program(0, image.left(256)));
    QVERIFY(client.program(1, image.mid(256)));
    QByteArray back;
    QVERIFY(client.readPiece(0, 256, back));
    QCOMPARE(back, image.left(256));
    QVERIFY(client.readPiece(1, 44, back));
    QCOMPARE(back, image.mid(256));
    QVERIFY(client.readPiece(2, 16, back)); // erased and never written
    QCOMPARE(back, QByteArray(16, char(0xFF)));
    QVERIFY(client.sync()); // a second sync, as the verify pass sends
    QVERIFY(sim->waitForTrace(QStringLiteral("read piece=2 length=16 ack")));
    const QStringList trace = sim->traceLines();
    const QStringList expected{
        QStringLiteral("sync n=1 ack"), QStringLiteral("erase block=0 ack"),
        QStringLiteral("program piece=0 length=256 ack"), QStringLiteral("program piece=1 length=44 ack"),
        QStringLiteral("read piece=0 length=256 ack"), QStringLiteral("read piece=1 length=44 ack"),
        QStringLiteral("read piece=2 length=16 ack")};
    const int first = trace.indexOf(expected.first());
    QVERIFY(first > 0);
    QCOMPARE(trace.mid(first, expected.size()), expected);
    QVERIFY(trace.at(first - 2).startsWith(QStringLiteral("stream size=%1 crc32=").arg(loader().size())));

    // NOR semantics: a program without erase only clears bits; erase sets them.
    QVERIFY(client.erase(1));
    const quint32 piece = 65536 / 256; // first piece of block 1
    QVERIFY(client.program(piece, QByteArray::fromHex("f0f0ff00")));
    QVERIFY(client.program(piece, QByteArray::fromHex("3c0f5aff")));
    QVERIFY(client.readPiece(piece, 4, back));
    QCOMPARE(back.toHex(), QByteArray("30005a00"));
    QVERIFY(client.erase(1));
    QVERIFY(client.readPiece(piece, 4, back));
    QCOMPARE(back.toHex(), QByteArray("ffffffff"));
    QVERIFY(client.readPiece(0, 256, back)); // block 0 untouched
    QCOMPARE(back, image.left(256));
}

void TestSimPort::erasePastTheEndIsAcknowledged()
{
    // 2 MiB on the F16 parts: blocks 0..31; the host also erases block 32.
    QVERIFY(startWithLoader({QStringLiteral("--core"), QStringLiteral("BF514F16")}));
    QVERIFY(client.sync());
    QVERIFY(client.erase(31));
    QVERIFY(client.erase(32));
    QVERIFY(sim->waitForTrace(QStringLiteral("erase block=32 past-end ack")));
    QVERIFY(sim->traceLines().contains(QStringLiteral("loader start family=BF51x flash=2097152")));
    // Beyond the end nothing can be written or read.
    QVERIFY(client.write(BoardClient::programFrame(32 * 256, QByteArray(4, 0))));
    QVERIFY(client.read(1, 300).isEmpty());
}

void TestSimPort::flashPersistsAcrossRestarts_data()
{
    QTest::addColumn<int>("stopSignal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestSimPort::flashPersistsAcrossRestarts()
{
    QFETCH(int, stopSignal);
    const QString flashFile = dir->filePath(QStringLiteral("flash.bin"));
    const QStringList options{QStringLiteral("--flash"), flashFile, QStringLiteral("--flash-size"), QStringLiteral("131072")};
    QVERIFY(startWithLoader(options));
    QVERIFY(client.sync());
    QVERIFY(client.erase(0));
    const QByteArray data = testPattern(256, 9);
    QVERIFY(client.program(3, data));
    QCOMPARE(sim->stop(stopSignal), 0); // the port still open: saved on the way out
    QFile saved(flashFile);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray contents = saved.readAll();
    QCOMPARE(contents.size(), 131072);
    QCOMPARE(contents.mid(768, 256), data);
    QCOMPARE(contents.mid(1024, 4), QByteArray(4, char(0xFF)));
    saved.close();

    SimProcess second(dir->path());
    QVERIFY(second.start(options));
    QVERIFY(client.open(second.port()));
    QVERIFY(client.boot(loader()));
    QVERIFY(second.waitForTrace(QStringLiteral("loader start")));
    QVERIFY(client.sync());
    QByteArray back;
    QVERIFY(client.readPiece(3, 256, back));
    QCOMPARE(back, data);
}

void TestSimPort::flashFileOfTheWrongSizeIsRefused()
{
    const QString flashFile = dir->filePath(QStringLiteral("short.bin"));
    QFile f(flashFile);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(1000, 0));
    f.close();
    QVERIFY(!sim->start({QStringLiteral("--flash"), flashFile}));
    QVERIFY2(sim->lastError().contains(QStringLiteral("holds 1000 bytes, the FLASH has 2097152")), qPrintable(sim->lastError()));
    QCOMPARE(QFileInfo(flashFile).size(), 1000); // left as it was
}

void TestSimPort::hangUpAndAutoBaudByteReset()
{
    QVERIFY(startWithLoader());
    QVERIFY(client.sync());
    // Inside a frame 0x40 is data: a piece made of them is written.
    QVERIFY(client.erase(0));
    QVERIFY(client.program(0, QByteArray(2, 0x40)));
    // Between frames it is the host starting over: auto-baud answer, boot ROM.
    QCOMPARE(client.autoBaud().toHex(), QByteArray("bf2b0000"));
    QVERIFY(sim->waitForTrace(QStringLiteral("reset cause=autobaud-byte")));
    QVERIFY(client.write(loader()));
    QVERIFY(sim->waitForTrace(QStringLiteral("loader start")));
    QVERIFY(client.sync());
    QByteArray back;
    QVERIFY(client.readPiece(0, 2, back));
    QCOMPARE(back, QByteArray(2, 0x40));

    // The host closing the port resets the board too, FLASH kept.
    client.close();
    QVERIFY(sim->waitForTrace(QStringLiteral("reset cause=hangup")));
    QVERIFY(client.open(sim->port()));
    // Back in the boot ROM: a sync byte is not answered, the auto-baud byte is.
    QVERIFY(client.write(QByteArray(1, 0x55)));
    QVERIFY(client.read(1, 300).isEmpty());
    QVERIFY(client.boot(loader()));
    QVERIFY(client.sync());
    QVERIFY(client.readPiece(0, 2, back));
    QCOMPARE(back, QByteArray(2, 0x40));
}

void TestSimPort::badHeaderStopsTheBootRom()
{
    QVERIFY(sim->start());
    QVERIFY(client.open(sim->port()));
    QByteArray stream = toBytes(sim::demoImage());
    const int second = 16; // the demo image's second header
    stream[second + 4] = char(stream[second + 4] ^ 0x01);
    QVERIFY(client.boot(stream));
    QVERIFY(sim->waitForTrace(QStringLiteral("bad-header offset=16")));
    // Ignored until reset: no answer to another auto-baud byte.
    QVERIFY(client.autoBaud(300).isEmpty());
    client.close();
    QVERIFY(sim->waitForTrace(QStringLiteral("reset cause=hangup")));
    QVERIFY(client.open(sim->port()));
    QCOMPARE(client.autoBaud().size(), 4);
    client.close();
    sim->stop();
    const QString err = QString::fromLocal8Bit(sim->standardError());
    QVERIFY2(err.contains(QStringLiteral("boot ROM: bad header checksum 0x")), qPrintable(err));
    QVERIFY2(err.contains(QStringLiteral("in the block header at offset 16; ignoring the line until reset")), qPrintable(err));
}

void TestSimPort::realStreamsBootAsApplications_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("bf548") << ldrFixture("bf548.ldr");
    QTest::newRow("bf518-post") << ldrFixture("bf518-post.ldr");
    QTest::newRow("bf518-bss") << ldrFixture("bf518-bss.ldr");
    QTest::newRow("bf592-split") << ldrFixture("bf592-split.ldr");
}

void TestSimPort::realStreamsBootAsApplications()
{
    QFETCH(QString, file);
    QFile f(file);
    if (!f.exists())
        QSKIP("the shared LDR fixtures are not beside this checkout");
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray stream = f.readAll();
    QVERIFY(sim->start());
    QVERIFY(client.open(sim->port()));
    QVERIFY(client.boot(stream));
    const QByteArray banner = client.read(400, 2000);
    QVERIFY2(banner.contains(QStringLiteral("Booted %1 bytes").arg(stream.size()).toLatin1()), banner.constData());
    QVERIFY(banner.endsWith("bf> "));
    const uint crc = bootstream::crc32(reinterpret_cast<const std::uint8_t *>(stream.constData()), std::size_t(stream.size()));
    QVERIFY(sim->waitForTrace(QStringLiteral("stream size=%1 crc32=0x%2 ").arg(stream.size()).arg(crc, 8, 16, QLatin1Char('0'))));
    QVERIFY(sim->traceLines().filter(QStringLiteral("stream size=")).first().endsWith(QStringLiteral("kind=application")));
}

void TestSimPort::demoMonitorAnswersOverThePort()
{
    QVERIFY(sim->start());
    QVERIFY(client.open(sim->port()));
    QVERIFY(client.boot(toBytes(sim::demoImage())));
    QVERIFY(client.read(400, 2000).endsWith("bf> "));
    // The terminal sends upper-case letters and a lone carriage return.
    QVERIFY(client.write("ECHO Hi\r"));
    const QByteArray reply = client.read(int(strlen("ECHO Hi\r\nHi\r\nbf> ")));
    QCOMPARE(reply, QByteArray("ECHO Hi\r\nHi\r\nbf> "));
    QVERIFY(client.write("BURST 3\r"));
    const QByteArray burst = client.read(9 + 3 * 63 + 4);
    QCOMPARE(burst.count("The quick brown fox"), 3);
    QVERIFY(burst.endsWith("bf> "));
}

void TestSimPort::bootFromFlashRunsTheApplication()
{
    // A board strapped for FLASH boot with the demo in its FLASH.
    QVERIFY(startWithLoader({QStringLiteral("--boot-flash")}));
    const QByteArray demo = toBytes(sim::demoImage());
    QVERIFY(client.sync());
    QVERIFY(client.erase(0));
    for (int piece = 0; piece * 256 < demo.size(); ++piece)
        QVERIFY(client.program(quint32(piece), demo.mid(piece * 256, 256)));
    client.close(); // the hang-up resets the board, which now runs the demo

    QVERIFY(sim->waitForTrace(QStringLiteral("flash-boot size=%1").arg(demo.size())));
    QVERIFY(client.open(sim->port()));
    QCOMPARE(client.read(1, 300), QByteArray()); // the banner went to nobody
    QVERIFY(client.write("EEPROM BAUD=2 NAME=lab\r"));
    QCOMPARE(client.read(int(strlen("EEPROM BAUD=2 NAME=lab\r\nEEPROM written\r\nbf> "))),
             QByteArray("EEPROM BAUD=2 NAME=lab\r\nEEPROM written\r\nbf> "));
    QVERIFY(client.write("eeprom\r"));
    QCOMPARE(client.read(int(strlen("eeprom\r\nEEPROM BAUD=2 NAME=lab\r\nbf> "))),
             QByteArray("eeprom\r\nEEPROM BAUD=2 NAME=lab\r\nbf> "));
    client.close();

    // An auto-baud byte as the first byte still reaches the boot ROM.
    QTRY_COMPARE_WITH_TIMEOUT(sim->traceLines().filter(QStringLiteral("flash-boot size=")).size(), 2, 3000);
    QVERIFY(client.open(sim->port()));
    const QByteArray answer = client.autoBaud();
    QCOMPARE(answer.size(), 4);
    QCOMPARE(quint8(answer.at(0)), quint8(0xBF));

    // An erased FLASH holds nothing to run: the board waits in its boot ROM.
    client.close();
    QVERIFY(sim->stop() == 0);
    QVERIFY(sim->start({QStringLiteral("--boot-flash")}));
    QVERIFY(sim->waitForTrace(QStringLiteral("flash-boot none")));
}

void TestSimPort::faults_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("heard");
    // Steps: a autobaud, L boot loader, s sync, eN erase block N, pN program
    // piece N with 256 bytes of 0x12, rN read piece N. Heard: what each step
    // received, in hex, separated by "|".
    QTest::newRow("no auto-baud answer") << QStringList{"--no-autobaud"} << "a" << "";
    QTest::newRow("wrong fourth byte") << QStringList{"--autobaud-answer", "bf,2b,00,01"} << "a" << "bf2b0001";
    QTest::newRow("short answer") << QStringList{"--autobaud-answer", "bf2b"} << "a" << "bf2b";
    QTest::newRow("no sync ack") << QStringList{"--no-sync-ack"} << "L s s s s e0" << "|||||aa";
    QTest::newRow("ack only the third sync") << QStringList{"--ack-sync", "3"} << "L s s s s" << "|||aa|aa";
    QTest::newRow("drop ack after two pieces") << QStringList{"--drop-ack-after", "2"} << "L s e0 p0 p1 p2 r2"
                                               << "|aa|aa|aa|aa||" + QString(512, 'f') + "aa";
    QTest::newRow("corrupt read-back byte") << QStringList{"--corrupt-read", "257"} << "L s e0 p1 r1"
                                            << "|aa|aa|aa|12ed" + QString("12").repeated(254) + "aa";
    QTest::newRow("stop answering after 6 bytes") << QStringList{"--mute-after", "6"} << "a L s e0 e1"
                                                  << "bf2b0000||aa|aa|";
}

void TestSimPort::faults()
{
    QFETCH(QStringList, options);
    QFETCH(QString, steps);
    QFETCH(QString, heard);
    QVERIFY(sim->start(options));
    QVERIFY(client.open(sim->port()));
    const int quietMs = 300; // how long a step waits for an answer that should not come
    QStringList got;
    bool autoBaudDone = false;
    for (const QString &step : steps.split(QLatin1Char(' '))) {
        const QChar kind = step.at(0);
        const quint32 n = step.mid(1).toUInt();
        QByteArray reply;
        if (kind == QLatin1Char('a')) {
            reply = client.autoBaud(quietMs);
            autoBaudDone = true;
        } else if (kind == QLatin1Char('L')) {
            if (!autoBaudDone)
                QCOMPARE(client.autoBaud().size(), 4);
            QVERIFY(client.write(loader()));
            QVERIFY(sim->waitForTrace(QStringLiteral("loader start")));
        } else if (kind == QLatin1Char('s')) {
            QVERIFY(client.write(QByteArray(1, 0x55)));
            reply = client.read(1, quietMs);
        } else if (kind == QLatin1Char('e')) {
            QVERIFY(client.write(BoardClient::eraseFrame(quint16(n))));
            reply = client.read(1, quietMs);
        } else if (kind == QLatin1Char('p')) {
            QVERIFY(client.write(BoardClient::programFrame(n, QByteArray(256, 0x12))));
            reply = client.read(1, quietMs);
        } else {
            QVERIFY(client.write(BoardClient::readFrame(n, 256)));
            reply = client.read(257, 2000);
        }
        got << QString::fromLatin1(reply.toHex());
    }
    QCOMPARE(got.join(QLatin1Char('|')), heard);
    // Nothing more comes afterwards.
    QCOMPARE(client.read(1, 100).toHex(), QByteArray());
}

void TestSimPort::lineSpeedEmulation()
{
    // Every byte takes 10 bits at the emulated speed, in both directions: one
    // long program frame in, one long read-back out, so that the few
    // turn-arounds weigh little against the bound.
    const int baud = 38400;
    const int length = 4096;
    QVERIFY(startWithLoader({QStringLiteral("--baud"), QString::number(baud)}));
    QVERIFY(client.sync());
    QVERIFY(client.erase(0));
    const QByteArray data = testPattern(length, 3);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(client.write(BoardClient::programFrame(0, data)));
    QCOMPARE(client.read(1, 3000).toHex(), QByteArray("aa"));
    QVERIFY(client.write(BoardClient::readFrame(0, quint16(length))));
    const QByteArray back = client.read(length + 1, 3000);
    const qint64 elapsedMs = clock.elapsed();
    QCOMPARE(back, data + char(0xAA));
    const qint64 bytesOnLine = (7 + length + 1) + (7 + length + 1);
    const qint64 expectedMs = bytesOnLine * 10 * 1000 / baud;
    qInfo("%lld bytes took %lld ms at %d baud, expected %lld ms", bytesOnLine, elapsedMs, baud, expectedMs);
    QVERIFY2(elapsedMs >= expectedMs * 9 / 10 && elapsedMs <= expectedMs * 11 / 10,
             qPrintable(QStringLiteral("%1 ms instead of %2 ms").arg(elapsedMs).arg(expectedMs)));
}

void TestSimPort::commandLineErrors_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown option") << QStringList{"--bogus"} << "unknown option or missing value: --bogus";
    QTest::newRow("missing value") << QStringList{"--trace"} << "unknown option or missing value: --trace";
    QTest::newRow("bad speed") << QStringList{"--baud", "fast"} << "bad value for --baud: fast";
    QTest::newRow("unknown core") << QStringList{"--core", "BF999"} << "bad value for --core: BF999";
    QTest::newRow("FLASH below one block") << QStringList{"--flash-size", "4096"} << "bad value for --flash-size: 4096";
    QTest::newRow("odd hex answer") << QStringList{"--autobaud-answer", "bf2"} << "bad value for --autobaud-answer: bf2";
}

void TestSimPort::commandLineErrors()
{
    QFETCH(QStringList, options);
    QFETCH(QString, message);
    QProcess p;
    p.start(QStringLiteral(LODVANE_SIM_PATH), options);
    QVERIFY(p.waitForFinished(SimProcess::kStartWaitMs));
    QCOMPARE(p.exitCode(), 2);
    QVERIFY(p.readAllStandardOutput().isEmpty()); // no port line: nothing was opened
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    QVERIFY2(err.startsWith(QStringLiteral("lodvane-sim: ") + message + QLatin1Char('\n')), qPrintable(err));
}

QTEST_GUILESS_MAIN(TestSimPort)
#include "tst_simport.moc"
