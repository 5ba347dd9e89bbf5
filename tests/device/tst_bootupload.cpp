// Boot-stream upload against the virtual board: line sequences, auto-baud
// handshake, pieces with their LOG lines and progress, and the board's own
// record of what arrived.
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
    return toBytes(bootstream::write({block}));
}

} // namespace

class TestBootUpload : public QObject
{
    Q_OBJECT

private slots:
    void upload_data()
    {
        QTest::addColumn<QStringList>("options"); // of the board
        QTest::addColumn<int>("size");
        QTest::addColumn<QStringList>("lines");   // %port: the port's name
        QTest::addColumn<QList<unsigned>>("progress");
        // Built streams of the sizes where the piece rule changes.
        const QStringList none;
        QTest::newRow("empty file") << none << 0 << QStringList() << QList<unsigned>{100, 100};
        QTest::newRow("4095 bytes: one write") << none << 4095 << QStringList() << QList<unsigned>{100, 100};
        QTest::newRow("4096 bytes: one piece") << none << 4096 << QStringList{"Loaded byte(s):   4096"}
                                               << QList<unsigned>{100, 100};
        QTest::newRow("10000 bytes: three pieces")
            << none << 10000 << QStringList{"Loaded byte(s):   4096", "Loaded byte(s):   8192", "Loaded byte(s):  10000"}
            << QList<unsigned>{40, 81, 100, 100};
        // The stream is sent only after an accepted auto-baud answer.
        const QString refused = QStringLiteral("No answer on auto-baud command by device [%port]: Rxed %1 chars\nReset it and retry");
        QTest::newRow("middle bytes of the answer not examined") << QStringList{"--autobaud-answer", "bf,12,34,00"} << 100
                                                                 << QStringList() << QList<unsigned>{100, 100};
        QTest::newRow("wrong first byte") << QStringList{"--autobaud-answer", "be,2b,00,00"} << 100
                                          << QStringList{refused.arg(4)} << QList<unsigned>{100};
        QTest::newRow("wrong last byte") << QStringList{"--autobaud-answer", "bf,2b,00,01"} << 100
                                         << QStringList{refused.arg(4)} << QList<unsigned>{100};
        QTest::newRow("short answer") << QStringList{"--autobaud-answer", "bf,2b"} << 100
                                      << QStringList{refused.arg(2)} << QList<unsigned>{100};
        QTest::newRow("no answer") << QStringList{"--no-autobaud"} << 100 << QStringList{refused.arg(0)}
                                   << QList<unsigned>{100};
    }

    void upload()
    {
        QFETCH(QStringList, options);
        QFETCH(int, size);
        QFETCH(QStringList, lines);
        QFETCH(QList<unsigned>, progress);
        SimLink s;
        const QByteArray stream = size ? streamOfSize(size) : QByteArray();
        QCOMPARE(stream.size(), size);
        QVERIFY2(s.start(options), qPrintable(s.sim.lastError()));
        const bool refused = !lines.filter(QStringLiteral("auto-baud")).isEmpty();
        QCOMPARE(s.link.bootFile(s.writeFile(QStringLiteral("built.ldr"), stream), 4, kResetNone, kLineNone, kLineNone),
                 !refused);
        QVERIFY(s.link.portName().startsWith(QStringLiteral("pts/")));
        QCOMPARE(s.lines, lines.replaceInStrings(QStringLiteral("%port"), s.link.portName()));
        QCOMPARE(s.progressValues(), progress);
        // Closing right after the upload, as the actions do, must not cut it short.
        QVERIFY(s.hangUp());
        const QStringList trace = s.sim.traceLines();
        QCOMPARE(trace.filter(QStringLiteral("autobaud baud=115200 divisor=43 ")).size(), 1);
        const auto crc = bootstream::crc32(reinterpret_cast<const std::uint8_t *>(stream.constData()), std::size_t(size));
        const QString arrived = QStringLiteral("stream size=%1 crc32=0x%2 ").arg(size).arg(crc, 8, 16, QLatin1Char('0'));
        QCOMPARE(trace.filter(arrived).size(), size && !refused ? 1 : 0);
    }

    void lineSequences_data()
    {
        QTest::addColumn<int>("mode"); // -1: the RESET button's pulse alone
        QTest::addColumn<unsigned>("reset");
        QTest::addColumn<unsigned>("boot");
        QTest::addColumn<QStringList>("events");
        const QStringList rts{"RTS 0", "sleep 100", "RTS 1"}, dtr{"DTR 0", "sleep 100", "DTR 1"};
        QTest::newRow("pulse RTS") << -1 << 1u << 0u << rts;
        QTest::newRow("pulse DTR") << -1 << 2u << 0u << dtr;
        QTest::newRow("pulse of no line moves DTR the other way") << -1 << 0u << 0u << QStringList{"DTR 1", "sleep 100", "DTR 0"};
        QTest::newRow("pulse RTS with invert bit") << -1 << 0x8001u << 0u << rts; // unmasked it would act as DTR
        QTest::newRow("pulse of an unknown code acts on DTR") << -1 << 3u << 0u << dtr;
        QTest::newRow("mode 0 touches nothing") << 0 << 2u << 1u << QStringList();
        QTest::newRow("mode 1, RESET on DTR") << 1 << 2u << 0u << dtr;
        QTest::newRow("mode 2, BOOT on RTS, RESET on DTR")
            << 2 << 2u << 1u << QStringList{"RTS 0", "sleep 10", "DTR 0", "sleep 100", "DTR 1", "RTS 0"};
        QTest::newRow("mode 2, BOOT on DTR, RESET on RTS")
            << 2 << 1u << 2u << QStringList{"DTR 0", "sleep 10", "RTS 0", "sleep 100", "RTS 1", "DTR 0"};
        QTest::newRow("mode 2, invert bits masked off")
            << 2 << 0x8002u << 0x8001u << QStringList{"RTS 0", "sleep 10", "DTR 0", "sleep 100", "DTR 1", "RTS 0"};
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

    void refusedBeforeTheLine()
    {
        // A missing file (no line moves) or a core outside the catalogue: nothing is sent.
        SimLink s;
        QVERIFY(s.start());
        const QString path = s.dir.filePath(QStringLiteral("missing.ldr"));
        QVERIFY(!s.link.bootFile(path, 4, kResetHoldBoot, kLineDtr, kLineRts));
        QCOMPARE(s.lines, QStringList{QStringLiteral("Error while opening file [%1]").arg(path)});
        QVERIFY(s.recorder.events.isEmpty());
        QVERIFY(s.progress.isEmpty());
        const QString sample = s.writeFile(QStringLiteral("sample.ldr"), toBytes(sampleStream(512)));
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
};

QTEST_GUILESS_MAIN(TestBootUpload)
#include "tst_bootupload.moc"
