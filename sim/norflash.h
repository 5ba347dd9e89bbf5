#pragma once

// A NOR FLASH as the loader sees it: erase sets a 64 KiB block to 0xFF,
// programming can only clear bits (new bytes are ANDed into the old ones).

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

constexpr std::uint32_t kFlashBlockBytes = 65536;
constexpr std::uint8_t kErasedByte = 0xFF;

class NorFlash
{
public:
    explicit NorFlash(std::uint32_t sizeBytes);

    std::uint32_t size() const { return std::uint32_t(cells.size()); }
    std::uint32_t blockCount() const { return size() / kFlashBlockBytes; }

    // False (and nothing changes) for a block past the end.
    bool eraseBlock(std::uint32_t block);
    // False (and nothing changes) when the range does not fit.
    bool program(std::uint32_t offset, const std::uint8_t *data, std::size_t count);
    bool read(std::uint32_t offset, std::uint8_t *out, std::size_t count) const;
    const std::vector<std::uint8_t> &contents() const { return cells; }

    // Loads the contents from a file of exactly this size; a missing file
    // leaves the FLASH erased. Errors come back as text.
    bool load(const std::string &path, std::string &error);
    // Writes the contents through a temporary file renamed over the old one,
    // so an interrupted save never leaves a half-written file.
    bool save(const std::string &path, std::string &error);
    bool dirty() const { return changed; }

private:
    std::vector<std::uint8_t> cells;
    bool changed = false;
};

} // namespace sim
