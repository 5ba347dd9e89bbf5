#pragma once

// The first-stage FLASH loader as the virtual board runs it: the host's frames
// (sync, erase block, program piece, read piece) over a NOR FLASH model.

#include "boardio.h"
#include "norflash.h"
#include "simoptions.h"

#include <vector>

namespace sim {

// Wire format: multi-byte numbers most significant byte first.
constexpr std::uint8_t kSyncByte = 0x55;
constexpr std::uint8_t kAckByte = 0xAA;
constexpr std::uint8_t kEraseCommand = 0x01;
constexpr std::uint8_t kProgramCommand = 0x02;
constexpr std::uint8_t kReadCommand = 0x03;
constexpr std::size_t kEraseArgBytes = 2;       // block number
constexpr std::size_t kPieceArgBytes = 6;       // piece number (4), length (2)
constexpr std::uint32_t kPieceBytes = 256;      // piece number k starts at k * 256

class FlashLoader
{
public:
    FlashLoader(const Options &options, NorFlash &flash, BoardOutput &out, const BoardReports &reports);

    // Starts serving frames (the loader has just been booted).
    void start(const std::string &family);
    // Takes one byte from the host. Returns false when the byte asks for a
    // reset instead (the auto-baud byte while no frame is open).
    bool receive(std::uint8_t byte);

private:
    void idleByte(std::uint8_t byte);
    void frameComplete();
    void sync();
    void erase(std::uint32_t block);
    void program(std::uint32_t piece, const std::uint8_t *data, std::size_t length);
    void read(std::uint32_t piece, std::size_t length);
    void trace(const std::string &line) const;

    const Options &options;
    NorFlash &flash;
    BoardOutput &out;
    const BoardReports &reports;
    std::uint8_t command = 0;            // 0 while idle between frames
    std::vector<std::uint8_t> frame;     // bytes after the command byte
    std::size_t frameNeed = 0;
    long syncsSeen = 0;
    long piecesSeen = 0;
};

} // namespace sim
