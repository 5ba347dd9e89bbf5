#include "flashloader.h"

namespace sim {


static std::uint32_t bigEndian(const std::uint8_t *at, std::size_t count)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i)
        value = value << 8 | at[i];
    return value;
}

FlashLoader::FlashLoader(const Options &options_, NorFlash &flash_, BoardOutput &out_, const BoardReports &reports_)
    : options(options_), flash(flash_), out(out_), reports(reports_)
{
}

void FlashLoader::trace(const std::string &line) const
{
    if (reports.trace)
        reports.trace(line);
}

void FlashLoader::start(const std::string &family)
{
    command = 0;
    frame.clear();
    syncsSeen = 0;
    piecesSeen = 0;
    trace("loader start family=" + family + " flash=" + std::to_string(flash.size()));
}

bool FlashLoader::receive(std::uint8_t byte)
{
    if (command == 0) {
        if (byte == kAutoBaudByte)
            return false;
        idleByte(byte);
        return true;
    }
    frame.push_back(byte);
    if (frame.size() == frameNeed) {
        if (command == kProgramCommand && frameNeed == kPieceArgBytes)
            frameNeed += bigEndian(&frame[4], 2); // the data follow the header
        if (frame.size() == frameNeed)
            frameComplete();
    }
    return true;
}

void FlashLoader::idleByte(std::uint8_t byte)
{
    switch (byte) {
    case kSyncByte:
        sync();
        return;
    case kEraseCommand:
        frameNeed = kEraseArgBytes;
        break;
    case kProgramCommand:
    case kReadCommand:
        frameNeed = kPieceArgBytes;
        break;
    default:
        trace("loader unknown byte=" + std::to_string(byte));
        return;
    }
    command = byte;
    frame.clear();
}

void FlashLoader::frameComplete()
{
    const std::uint8_t done = command;
    command = 0;
    if (done == kEraseCommand) {
        erase(bigEndian(frame.data(), kEraseArgBytes));
        return;
    }
    const std::uint32_t piece = bigEndian(frame.data(), 4);
    const std::size_t length = bigEndian(&frame[4], 2);
    if (done == kProgramCommand)
        program(piece, frame.data() + kPieceArgBytes, length);
    else
        read(piece, length);
}

void FlashLoader::sync()
{
    ++syncsSeen;
    const Faults &f = options.faults;
    const bool answered = !f.noSyncAck && (f.ackOnlySyncNumber < 0 || syncsSeen >= f.ackOnlySyncNumber);
    trace("sync n=" + std::to_string(syncsSeen) + (answered ? " ack" : " unanswered"));
    if (answered)
        out.sendByte(kAckByte);
}

void FlashLoader::erase(std::uint32_t block)
{
    // A block past the end is acknowledged and changes nothing: the host
    // always erases one block more than the size it was given.
    const bool inside = flash.eraseBlock(block);
    trace("erase block=" + std::to_string(block) + (inside ? " ack" : " past-end ack"));
    out.sendByte(kAckByte);
}

void FlashLoader::program(std::uint32_t piece, const std::uint8_t *data, std::size_t length)
{
    ++piecesSeen;
    const std::string numbers = "piece=" + std::to_string(piece) + " length=" + std::to_string(length);
    if (options.faults.dropAckAfterPieces >= 0 && piecesSeen > options.faults.dropAckAfterPieces) {
        trace("program " + numbers + " dropped");
        return;
    }
    const std::uint64_t offset = std::uint64_t(piece) * kPieceBytes;
    if (offset > flash.size() || !flash.program(std::uint32_t(offset), data, length)) {
        trace("program " + numbers + " past-end unanswered");
        return;
    }
    trace("program " + numbers + " ack");
    out.sendByte(kAckByte);
}

void FlashLoader::read(std::uint32_t piece, std::size_t length)
{
    const std::string numbers = "piece=" + std::to_string(piece) + " length=" + std::to_string(length);
    const std::uint64_t offset = std::uint64_t(piece) * kPieceBytes;
    std::vector<std::uint8_t> data(length + 1);
    if (offset > flash.size() || !flash.read(std::uint32_t(offset), data.data(), length)) {
        trace("read " + numbers + " past-end unanswered");
        return;
    }
    const long long corrupt = options.faults.corruptReadOffset;
    if (corrupt >= 0 && std::uint64_t(corrupt) >= offset && std::uint64_t(corrupt) < offset + length)
        data[std::size_t(std::uint64_t(corrupt) - offset)] ^= 0xFF;
    data[length] = kAckByte;
    trace("read " + numbers + " ack");
    out.send(data.data(), data.size(), 0);
}

} // namespace sim
