#include "bootstream.h"

#include <array>
#include <cstdio>

namespace bootstream {

static void putWord(std::uint8_t *at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = std::uint8_t(value >> (8 * i));
}

static std::uint32_t getWord(const std::uint8_t *at)
{
    return std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16
        | std::uint32_t(at[3]) << 24;
}

static std::string hexByte(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", value & 0xFFu);
    return text;
}

std::vector<std::uint8_t> header(const Block &block)
{
    std::vector<std::uint8_t> bytes(kHeaderSizeBytes);
    const std::uint32_t code = std::uint32_t(kSignByte) << kSignShift | (block.flags & kFlagsMask)
        | (block.dmaCode & kDmaCodeMask);
    putWord(&bytes[0], code);
    putWord(&bytes[4], block.address);
    putWord(&bytes[8], block.byteCount);
    putWord(&bytes[12], block.argument);
    std::uint8_t sum = 0;
    for (std::uint8_t b : bytes)
        sum ^= b;
    bytes[kChecksumShift / 8] = sum; // the checksum byte was 0, so XOR-ing it in zeroes the total
    return bytes;
}

std::vector<std::uint8_t> write(std::vector<Block> blocks)
{
    bool hasFinal = false;
    for (const Block &b : blocks)
        hasFinal = hasFinal || (b.flags & kFlagFinal);
    if (!hasFinal && !blocks.empty())
        blocks.back().flags |= kFlagFinal;

    std::vector<std::uint8_t> stream;
    for (Block &b : blocks) {
        if (b.hasPayload())
            b.byteCount = std::uint32_t(b.payload.size());
        const std::vector<std::uint8_t> head = header(b);
        stream.insert(stream.end(), head.begin(), head.end());
        if (b.hasPayload())
            stream.insert(stream.end(), b.payload.begin(), b.payload.end());
    }
    return stream;
}

Reader::State Reader::feed(std::uint8_t byte)
{
    if (current == State::Complete || current == State::Bad)
        return current;
    ++consumed;
    if (current == State::Header) {
        head[headFill++] = byte;
        if (headFill == kHeaderSizeBytes)
            headerComplete();
    } else {
        if (!(block.flags & kFlagIgnore))
            block.payload.push_back(byte);
        if (--payloadLeft == 0)
            blockComplete();
    }
    return current;
}

void Reader::headerComplete()
{
    headFill = 0;
    const std::size_t at = consumed - kHeaderSizeBytes;
    std::uint8_t sum = 0;
    for (std::uint8_t b : head)
        sum ^= b;
    const std::uint32_t code = getWord(head);
    if ((code >> kSignShift) != kSignByte) {
        current = State::Bad;
        badOffset = at;
        reason = "bad sign byte " + hexByte(code >> kSignShift) + " (not " + hexByte(kSignByte)
            + ") in the block header at offset " + std::to_string(at);
        return;
    }
    if (sum != 0) {
        current = State::Bad;
        badOffset = at;
        reason = "bad header checksum " + hexByte(code >> kChecksumShift) + " (the header bytes XOR to "
            + hexByte(sum) + ") in the block header at offset " + std::to_string(at);
        return;
    }
    block = Block();
    block.flags = code & kFlagsMask;
    block.dmaCode = code & kDmaCodeMask;
    block.address = getWord(head + 4);
    block.byteCount = getWord(head + 8);
    block.argument = getWord(head + 12);
    block.offset = at;
    payloadLeft = block.hasPayload() ? block.byteCount : 0;
    if (payloadLeft == 0)
        blockComplete();
    else
        current = State::Payload;
}

void Reader::blockComplete()
{
    const bool isFinal = block.flags & kFlagFinal;
    done.push_back(std::move(block));
    block = Block();
    current = isFinal ? State::Complete : State::Header;
}

Walk walk(const std::uint8_t *data, std::size_t size)
{
    Reader reader;
    for (std::size_t i = 0; i < size && reader.feed(data[i]) != Reader::State::Bad
         && reader.state() != Reader::State::Complete;
         ++i) {
    }
    Walk result;
    result.blocks = reader.blocks();
    result.streamSize = reader.bytesRead();
    switch (reader.state()) {
    case Reader::State::Complete:
        result.ok = true;
        break;
    case Reader::State::Bad:
        result.errorOffset = reader.errorOffset();
        result.error = reader.error();
        break;
    case Reader::State::Header:
    case Reader::State::Payload: {
        const std::size_t blockStart = result.blocks.empty()
            ? 0
            : result.blocks.back().offset + kHeaderSizeBytes
                + (result.blocks.back().hasPayload() ? result.blocks.back().byteCount : 0);
        result.errorOffset = blockStart;
        result.error = size == 0 ? std::string("empty stream: no block header")
            : "stream ends at offset " + std::to_string(size) + " inside the block at offset "
                + std::to_string(blockStart) + " before a FINAL block";
        break;
    }
    }
    return result;
}

std::uint32_t crc32(const std::uint8_t *data, std::size_t size)
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

} // namespace bootstream
