#include "ldrinspect.h"

#include "bootstream.h"

namespace {

// Block-code flag bits by name, lowest first, as the boot ROMs define them.
struct FlagName
{
    std::uint32_t bit;
    const char *name;
};
const FlagName kFlagNames[] = {
    {0x0010, "SAFE"},   {0x0020, "AUX"},      {0x0100, "FILL"},  {0x0200, "QUICKBOOT"},
    {0x0400, "CALLBACK"}, {0x0800, "INIT"},   {0x1000, "IGNORE"}, {0x2000, "INDIRECT"},
    {0x4000, "FIRST"},  {0x8000, "FINAL"},
};

QString hex32(std::uint32_t value)
{
    return QStringLiteral("0x%1").arg(value, 8, 16, QLatin1Char('0'));
}

std::uint32_t littleEndian32(const std::uint8_t *at)
{
    return std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16
        | std::uint32_t(at[3]) << 24;
}

QString flagNames(std::uint32_t flags)
{
    QStringList names;
    std::uint32_t named = 0;
    for (const FlagName &f : kFlagNames) {
        if (flags & f.bit)
            names << QLatin1String(f.name);
        named |= f.bit;
    }
    if (flags & ~named)
        names << QStringLiteral("0x%1").arg(flags & ~named, 4, 16, QLatin1Char('0'));
    return names.isEmpty() ? QStringLiteral("-") : names.join(QLatin1Char('|'));
}

QString blockLine(const bootstream::Block &b)
{
    const std::vector<std::uint8_t> head = bootstream::header(b);
    return QStringLiteral("%1  code %2 %3  address %4  count %5  argument %6")
        .arg(QStringLiteral("0x%1").arg(b.offset, 6, 16, QLatin1Char('0')), hex32(littleEndian32(head.data())),
             flagNames(b.flags).leftJustified(12), hex32(b.address))
        .arg(b.byteCount, 6)
        .arg(hex32(b.argument));
}

// Why a stream that ran out of bytes is incomplete; `start` is where the
// unfinished (or missing) block begins.
QString endReason(const QByteArray &stream, std::size_t start, std::size_t blocks)
{
    const std::size_t size = std::size_t(stream.size());
    if (size == 0)
        return QStringLiteral("empty file: no block header");
    if (size == start)
        return QStringLiteral("no FINAL block: the stream ends at offset %1 after %2 block(s)").arg(size).arg(blocks);
    if (size - start < bootstream::kHeaderSizeBytes)
        return QStringLiteral("truncated header at offset %1: %2 of %3 bytes")
            .arg(start)
            .arg(size - start)
            .arg(bootstream::kHeaderSizeBytes);
    const auto *head = reinterpret_cast<const std::uint8_t *>(stream.constData()) + start;
    return QStringLiteral("truncated payload of the block at offset %1: %2 of %3 bytes")
        .arg(start)
        .arg(size - start - bootstream::kHeaderSizeBytes)
        .arg(littleEndian32(head + 8));
}

} // namespace

StreamReport inspectStream(const QByteArray &stream)
{
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(stream.constData());
    const std::size_t size = std::size_t(stream.size());
    bootstream::Reader reader;
    for (std::size_t i = 0; i < size; ++i) {
        const bootstream::Reader::State state = reader.feed(bytes[i]);
        if (state == bootstream::Reader::State::Bad || state == bootstream::Reader::State::Complete)
            break;
    }

    StreamReport report;
    const std::vector<bootstream::Block> &blocks = reader.blocks();
    for (const bootstream::Block &b : blocks)
        report.lines << blockLine(b);
    switch (reader.state()) {
    case bootstream::Reader::State::Complete: {
        report.ok = true;
        QString summary = QStringLiteral("%1 block(s), %2 bytes, FINAL block at offset %3")
                              .arg(blocks.size())
                              .arg(reader.bytesRead())
                              .arg(blocks.back().offset);
        if (size > reader.bytesRead())
            summary += QStringLiteral("; %1 byte(s) after it are not part of the stream").arg(size - reader.bytesRead());
        report.lines << summary;
        break;
    }
    case bootstream::Reader::State::Bad:
        report.lines << QStringLiteral("bad header at offset %1: %2")
                            .arg(reader.errorOffset())
                            .arg(QString::fromStdString(reader.error()));
        break;
    case bootstream::Reader::State::Header:
    case bootstream::Reader::State::Payload: {
        const std::size_t start = blocks.empty()
            ? 0
            : blocks.back().offset + bootstream::kHeaderSizeBytes
                + (blocks.back().hasPayload() ? blocks.back().byteCount : 0);
        report.lines << endReason(stream, start, blocks.size());
        break;
    }
    }
    return report;
}
