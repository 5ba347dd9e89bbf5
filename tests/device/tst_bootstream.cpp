// Boot streams: building them, walking them, and the real streams of a public tool.
#include "bootstream.h"
#include "testfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QtTest>

using bootstream::Block;

namespace {

// Streams made by a public tool, kept outside the repository (on the CI
// machine beside the checkout).
QString thirdPartyFolder()
{
    return QDir::cleanPath(QStringLiteral(LODVANE_LDR_FIXTURES));
}

Block dataBlock(std::uint32_t address, std::vector<std::uint8_t> payload, std::uint32_t flags = 0)
{
    Block b;
    b.flags = flags;
    b.address = address;
    b.payload = std::move(payload);
    return b;
}

} // namespace

class TestBootStream : public QObject
{
    Q_OBJECT

private slots:
    // (The inspect lines of the sample stream pin every header word the
    // writer puts down, its FILL and IGNORE blocks and the FINAL flag it sets
    // on the last block only.)
    void streamEndsAfterFinalPayload()
    {
        // A FINAL block with a payload ends the stream after that payload; what
        // follows is not part of it, for the walk and for the byte-wise reader.
        std::vector<std::uint8_t> stream = bootstream::write({dataBlock(0, {1, 2}, bootstream::kFlagFinal)});
        const std::size_t end = stream.size();
        bootstream::Reader reader;
        for (std::size_t i = 0; i + 1 < end; ++i)
            reader.feed(stream[i]);
        QCOMPARE(reader.feed(stream.back()), bootstream::Reader::State::Complete);
        QCOMPARE(reader.feed(0x40), bootstream::Reader::State::Complete);
        QCOMPARE(reader.bytesRead(), end);

        stream.insert(stream.end(), {0xDE, 0xAD});
        const bootstream::Walk w = bootstream::walk(stream);
        QVERIFY(w.ok);
        QCOMPARE(w.streamSize, end);
        QCOMPARE(w.blocks.back().payload, (std::vector<std::uint8_t>{1, 2}));
    }

    void brokenStreams_data()
    {
        QTest::addColumn<int>("keep");      // bytes kept (-1: all)
        QTest::addColumn<int>("byteIndex"); // a damaged byte (-1: none), its low bit flipped
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("blocks");    // blocks read before the fault
        QTest::addColumn<QString>("message");
        // Stream: header 0 (payload 4), header at 20, header at 36 (FINAL), 52 bytes.
        QTest::newRow("first header sign") << -1 << 3 << 0 << 0
                                           << "bad sign byte 0xac (not 0xad) in the block header at offset 0";
        QTest::newRow("empty") << 0 << -1 << 0 << 0 << "empty stream: no block header";
        QTest::newRow("final header cut") << 51 << -1 << 36 << 2
                                          << "stream ends at offset 51 inside the block at offset 36 before a FINAL block";
    }

    void brokenStreams()
    {
        QFETCH(int, keep);
        QFETCH(int, byteIndex);
        QFETCH(int, offset);
        QFETCH(int, blocks);
        QFETCH(QString, message);
        Block fill = dataBlock(0, {}, bootstream::kFlagFill);
        fill.byteCount = 8;
        std::vector<std::uint8_t> stream = bootstream::write({dataBlock(0, {1, 2, 3, 4}), fill, dataBlock(0, {})});
        QCOMPARE(stream.size(), std::size_t(52));
        QVERIFY(bootstream::walk(stream).ok); // whole, it ends: the writer made its last block FINAL
        if (keep >= 0)
            stream.resize(std::size_t(keep));
        if (byteIndex >= 0)
            stream[std::size_t(byteIndex)] ^= 0x01;
        const bootstream::Walk w = bootstream::walk(stream);
        QVERIFY(!w.ok);
        QCOMPARE(w.errorOffset, std::size_t(offset));
        QCOMPARE(QString::fromStdString(w.error), message);
        QCOMPARE(int(w.blocks.size()), blocks);
    }

    void thirdPartyStreams_data()
    {
        if (!QFileInfo(thirdPartyFolder()).isDir())
            QSKIP(qPrintable(QStringLiteral("no folder %1: the third-party boot streams are not beside this checkout")
                                 .arg(thirdPartyFolder())));
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("blocks");
        QTest::addColumn<uint>("dmaCode");
        QTest::newRow("bf548") << "bf548.ldr" << 17186 << 30 << 6u;
        QTest::newRow("bf518-post") << "bf518-post.ldr" << 36956 << 4 << 1u;
        QTest::newRow("bf518-bss") << "bf518-bss.ldr" << 1128 << 6 << 1u;
        QTest::newRow("bf592-split") << "bf592-split.ldr" << 2332 << 13 << 1u;
    }

    void thirdPartyStreams()
    {
        QFETCH(QString, file);
        QFETCH(int, size);
        QFETCH(int, blocks);
        QFETCH(uint, dmaCode);
        const QByteArray bytes = readFile(thirdPartyFolder() + QLatin1Char('/') + file);
        const std::vector<std::uint8_t> stream(bytes.begin(), bytes.end());
        const bootstream::Walk w = bootstream::walk(stream);
        QVERIFY2(w.ok, w.error.c_str());
        QCOMPARE(int(w.streamSize), size);
        QCOMPARE(int(w.blocks.size()), blocks);
        bool ignoredPayload = false;
        for (const Block &b : w.blocks) {
            ignoredPayload = ignoredPayload || ((b.flags & bootstream::kFlagIgnore) && b.byteCount);
            QCOMPARE(b.dmaCode, dmaCode);
        }
        QVERIFY(w.blocks.front().flags & bootstream::kFlagFirst);
        QVERIFY(w.blocks.back().flags & bootstream::kFlagFinal);
        // Writing the blocks back gives the same bytes, every flag and word
        // as read, except for IGNORE payloads, which the reader does not keep.
        if (!ignoredPayload)
            QCOMPARE(bootstream::write(w.blocks), stream);
    }

    void crc32KnownValue()
    {
        const char *text = "123456789";
        QCOMPARE(bootstream::crc32(reinterpret_cast<const std::uint8_t *>(text), 9), 0xCBF43926u);
    }
};

QTEST_GUILESS_MAIN(TestBootStream)
#include "tst_bootstream.moc"
