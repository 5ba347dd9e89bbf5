#pragma once

// Reader and writer of Blackfin boot streams (".ldr" files) in the 16-byte
// block-header format that the BF51x, BF52x, BF54x and BF59x boot ROMs read.
// Plain C++ without Qt, so that the virtual board, the command-line tools and
// the program can all share it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bootstream {

// Header layout, all fields little-endian 32-bit words:
//   block code | target address | byte count | argument
// The block code carries the sign byte in bits 24..31, the header checksum in
// bits 16..23 (chosen so that all 16 header bytes XOR to 0), the flags in
// bits 4..15 and the DMA code in bits 0..3.
constexpr std::size_t kHeaderSizeBytes = 16;
constexpr std::uint8_t kSignByte = 0xAD;
constexpr unsigned kSignShift = 24;
constexpr unsigned kChecksumShift = 16;
constexpr std::uint32_t kDmaCodeMask = 0x000F;
constexpr std::uint32_t kFlagsMask = 0xFFF0;

constexpr std::uint32_t kFlagFill = 0x0100;   // no payload follows; argument is the fill word
constexpr std::uint32_t kFlagInit = 0x0800;   // the ROM calls the payload's code once it is loaded
constexpr std::uint32_t kFlagIgnore = 0x1000; // the payload is read and skipped
constexpr std::uint32_t kFlagFirst = 0x4000;  // first block of a stream
constexpr std::uint32_t kFlagFinal = 0x8000;  // last block: the stream ends after its payload

constexpr std::uint32_t kDmaCode8Bit = 0x1;  // the UART-booted BF51x/BF59x parts
constexpr std::uint32_t kDmaCode16Bit = 0x6; // as the BF54x tools write it

struct Block
{
    std::uint32_t flags = 0;      // kFlag* bits (bits 4..15 of the block code)
    std::uint32_t dmaCode = kDmaCode8Bit;
    std::uint32_t address = 0;    // target address
    std::uint32_t byteCount = 0;  // for FILL the count to fill, else the payload size
    std::uint32_t argument = 0;
    std::vector<std::uint8_t> payload; // empty for FILL blocks
    std::size_t offset = 0;       // where the header starts in the stream (reader only)

    bool hasPayload() const { return !(flags & kFlagFill); }
};

// Builds a stream from the given blocks: sign byte and header checksum are
// computed, byteCount of a block with payload is the payload's size, and the
// last block gets the FINAL flag if none has it.
std::vector<std::uint8_t> write(std::vector<Block> blocks);

// The 16 header bytes of one block (sign and checksum filled in).
std::vector<std::uint8_t> header(const Block &block);

// Incremental reader: feed the stream one byte at a time, as a boot ROM reads
// it from the UART. Stops at the first bad header or after the FINAL block.
class Reader
{
public:
    enum class State { Header, Payload, Complete, Bad };

    // Takes one byte; returns the state after it. Bytes after the end or after
    // a bad header are not taken (the state does not change).
    State feed(std::uint8_t byte);
    State state() const { return current; }

    const std::vector<Block> &blocks() const { return done; }
    std::size_t bytesRead() const { return consumed; }
    // Set when the state is Bad: offset of the bad header and why it is bad.
    std::size_t errorOffset() const { return badOffset; }
    const std::string &error() const { return reason; }

private:
    void headerComplete();
    void blockComplete();

    State current = State::Header;
    std::uint8_t head[kHeaderSizeBytes] = {};
    std::size_t headFill = 0;
    Block block;
    std::size_t payloadLeft = 0;
    std::vector<Block> done;
    std::size_t consumed = 0;
    std::size_t badOffset = 0;
    std::string reason;
};

struct Walk
{
    bool ok = false;              // a FINAL block was reached and every header was good
    std::vector<Block> blocks;    // the blocks read (up to the problem, if any)
    std::size_t streamSize = 0;   // bytes up to the end of the FINAL block's payload
    std::size_t errorOffset = 0;  // where the problem is (a header, or the end of data)
    std::string error;            // empty when ok
};

// Walks a whole stream held in memory and validates it.
Walk walk(const std::uint8_t *data, std::size_t size);
inline Walk walk(const std::vector<std::uint8_t> &data) { return walk(data.data(), data.size()); }

// CRC-32 (IEEE 802.3, reflected, as zip uses it) of a byte range: how the
// virtual board's trace names the stream it received.
std::uint32_t crc32(const std::uint8_t *data, std::size_t size);

} // namespace bootstream
