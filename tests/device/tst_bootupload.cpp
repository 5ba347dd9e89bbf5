// Boot-stream upload against the virtual board: line sequences, auto-baud
// handshake, pieces with their LOG lines and progress, and the board's own
// record of what arrived.
#include "bootstream.h"
#include "samplestreams.h"
#include "simlink.h"

#include <QtTest>

namespace {

// A well-formed boot stream of exactly `size` bytes (one FINAL block), so the
// board takes it as an application and reports its size and CRC.
QByteArray streamOfSize(int size)
{
    bootstream::Block block;
    block.flags = bootstream::kFlagFinal;
    block.address = 0xFFA00000;
    for (int i = 0; i < size - int(bootstream::kHeaderSizeBytes); ++i)
        block.payload.push_back(std::uint8_t(i * 13 + 5));
    const std::vector<std::uint8_t> bytes = bootstream::write({block});
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size()));
}

// The sample stream of 768 bytes in the board's folder.
QString writeSample(const SimLink &s)
{
    return s.writeFile(QStringLiteral("sample.ldr"), toBytes(sampleStream(512)));
}

QString streamTrace(const QByteArray &stream)
{
    const std::uint32_t crc =
        bootstream::crc32(reinterpret_cast<const std::uint8_t *>(stream.constData()), std::size_t(stream.size()));
    return QStringLiteral("stream size=%1 crc32=0x%2 ").arg(stream.size()).arg(crc, 8, 16, QLatin1Char('0'));
}

QStringList loadedLines(const QList<int> &counts)
{
    QStringList out;
    for (int n : counts)
        out << QStringLiteral("Loaded byte(s): %1").arg(n, 6);
    return out;
}

QString autoBaudFailure(const QString &port, int count)
{
    return QStringLiteral("No answer on auto-baud command by device [%1]: Rxed %2 chars\nReset it and retry")
        .arg(port)
        .arg(count);
}

} // namespace

class TestBootUpload : public QObject
{
    Q_OBJECT

private slots:
    void streamsArriveByteForByte_data();
    void streamsArriveByteForByte();
    void autoBaudAnswers_data();
    void autoBaudAnswers();
    void lineSequences_data();
    void lineSequences();
    void refusedBeforeTheLine();
};

void TestBootUpload::streamsArriveByteForByte_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QList<unsigned>>("progress");

    // Built streams of the sizes where the piece rule changes; lodvane-cli's
    // tests upload one of many blocks.
    QTest::newRow("empty file") << 0 << QStringList() << QList<unsigned>{100, 100};
    QTest::newRow("4095 bytes: one write") << 4095 << QStringList() << QList<unsigned>{100, 100};
    QTest::newRow("4096 bytes: one piece")
        << 4096 << loadedLines({4096}) << QList<unsigned>{100, 100};
    QTest::newRow("10000 bytes: three pieces")
        << 10000 << loadedLines({4096, 8192, 10000}) << QList<unsigned>{40, 81, 100, 100};
}

void TestBootUpload::streamsArriveByteForByte()
{
    QFETCH(int, size);
    QFETCH(QStringList, lines);
    QFETCH(QList<unsigned>, progress);

    SimLink s;
    const QByteArray stream = size ? streamOfSize(size) : QByteArray();
    QCOMPARE(stream.size(), size);
    const QString path = s.writeFile(QStringLiteral("built.ldr"), stream);

    QVERIFY2(s.start(), qPrintable(s.sim.lastError()));
    QVERIFY(s.link.bootFile(path, 4, kResetNone, kLineNone, kLineNone));
    QCOMPARE(s.lines, lines);
    QCOMPARE(s.progressValues(), progress);
    // Closing right after the upload, as the actions do, must not cut it short.
    QVERIFY(s.hangUp());
    const QStringList trace = s.sim.traceLines();
    QCOMPARE(trace.filter(QStringLiteral("autobaud baud=115200 divisor=43 answer=bf 2b 00 00")).size(), 1);
    const QStringList streams = trace.filter(QStringLiteral("stream "));
    QCOMPARE(streams.size(), stream.isEmpty() ? 0 : 1);
    if (!stream.isEmpty())
        QVERIFY2(streams.first().startsWith(streamTrace(stream)), qPrintable(trace.join(QLatin1Char('\n'))));
}

void TestBootUpload::autoBaudAnswers_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("received"); // -1: the answer is accepted

    QTest::newRow("middle bytes not examined") << QStringList{"--autobaud-answer", "bf,12,34,00"} << -1;
    QTest::newRow("wrong first byte") << QStringList{"--autobaud-answer", "be,2b,00,00"} << 4;
    QTest::newRow("short answer") << QStringList{"--autobaud-answer", "bf,2b"} << 2;
}

void TestBootUpload::autoBaudAnswers()
{
    QFETCH(QStringList, options);
    QFETCH(int, received);

    SimLink s;
    QVERIFY(s.start(options));
    const bool ok = s.link.bootFile(writeSample(s), 4, kResetNone, kLineNone, kLineNone);
    QCOMPARE(ok, received < 0);
    if (received < 0) {
        QVERIFY(s.lines.isEmpty());
        QCOMPARE(s.progressValues(), (QList<unsigned>{100, 100}));
    } else {
        QCOMPARE(s.lines, QStringList{autoBaudFailure(s.link.portName(), received)});
        QVERIFY(s.lines.first().startsWith(QStringLiteral("No answer on auto-baud command by device [pts/")));
        QCOMPARE(s.progressValues(), QList<unsigned>{100});
    }
    // The stream is sent only after an accepted answer.
    QVERIFY(s.hangUp());
    QCOMPARE(s.sim.traceLines().filter(QStringLiteral("stream size=768 ")).size(), ok ? 1 : 0);
}

void TestBootUpload::lineSequences_data()
{
    QTest::addColumn<unsigned>("mode");
    QTest::addColumn<unsigned>("reset");
    QTest::addColumn<unsigned>("boot");
    QTest::addColumn<QStringList>("events");

    QTest::newRow("mode 0 touches nothing") << 0u << 2u << 1u << QStringList();
    QTest::newRow("mode 1, RESET on DTR")
        << 1u << 2u << 0u << QStringList{"DTR 0", "sleep 100", "DTR 1"};
    QTest::newRow("mode 2, BOOT on RTS, RESET on DTR")
        << 2u << 2u << 1u << QStringList{"RTS 0", "sleep 10", "DTR 0", "sleep 100", "DTR 1", "RTS 0"};
    QTest::newRow("mode 2, BOOT on DTR, RESET on RTS")
        << 2u << 1u << 2u << QStringList{"DTR 0", "sleep 10", "RTS 0", "sleep 100", "RTS 1", "DTR 0"};
    QTest::newRow("mode 2, invert bits masked off")
        << 2u << 0x8002u << 0x8001u << QStringList{"RTS 0", "sleep 10", "DTR 0", "sleep 100", "DTR 1", "RTS 0"};
}

void TestBootUpload::lineSequences()
{
    QFETCH(unsigned, mode);
    QFETCH(unsigned, reset);
    QFETCH(unsigned, boot);
    QFETCH(QStringList, events);

    SimLink s;
    QVERIFY(s.start());
    // The pseudo-terminal refuses every line change; the upload goes on.
    QVERIFY(s.link.bootFile(writeSample(s), 7, mode, reset, boot));
    QCOMPARE(s.recorder.events, events);
}

void TestBootUpload::refusedBeforeTheLine()
{
    // A missing file (no line moves) or a core outside the catalogue: nothing is sent.
    SimLink s;
    QVERIFY(s.start());
    const QString path = s.dir.filePath(QStringLiteral("missing.ldr"));
    QVERIFY(!s.link.bootFile(path, 4, kResetHoldBoot, kLineDtr, kLineRts));
    QCOMPARE(s.lines, QStringList{QStringLiteral("Error while opening file [%1]").arg(path)});
    QVERIFY(s.recorder.events.isEmpty());
    QVERIFY(s.progress.isEmpty());
    const QString sample = writeSample(s);
    for (unsigned core : {0u, 8u})
        QVERIFY(!s.link.bootFile(sample, core, kResetNone, kLineNone, kLineNone));
    QCOMPARE(s.lines.size(), 1);
    QCOMPARE(s.progressValues(), (QList<unsigned>{100, 100}));
    // The next upload is the first thing the board sees, and it reads every
    // block of it: INIT, the IGNORE hole, the zero fill and the FINAL block.
    QVERIFY(s.link.bootFile(sample, 7, kResetNone, kLineNone, kLineNone));
    QVERIFY(s.hangUp());
    const QStringList trace = s.sim.traceLines();
    QCOMPARE(trace.filter(QStringLiteral("autobaud ")).size(), 1);
    const QStringList streams = trace.filter(QStringLiteral("stream size=768 "));
    QCOMPARE(streams.size(), 1);
    QVERIFY2(streams.first().endsWith(QStringLiteral(" blocks=8 kind=application")), qPrintable(streams.first()));
}

QTEST_GUILESS_MAIN(TestBootUpload)
#include "tst_bootupload.moc"
