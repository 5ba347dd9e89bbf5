#include "norflash.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace sim {

NorFlash::NorFlash(std::uint32_t sizeBytes) : cells(sizeBytes, kErasedByte) {}

bool NorFlash::eraseBlock(std::uint32_t block)
{
    if (block >= blockCount())
        return false;
    std::fill_n(cells.begin() + std::size_t(block) * kFlashBlockBytes, kFlashBlockBytes, kErasedByte);
    changed = true;
    return true;
}

bool NorFlash::program(std::uint32_t offset, const std::uint8_t *data, std::size_t count)
{
    if (std::uint64_t(offset) + count > cells.size())
        return false;
    for (std::size_t i = 0; i < count; ++i)
        cells[offset + i] &= data[i];
    changed = changed || count > 0;
    return true;
}

bool NorFlash::read(std::uint32_t offset, std::uint8_t *out, std::size_t count) const
{
    if (std::uint64_t(offset) + count > cells.size())
        return false;
    std::memcpy(out, cells.data() + offset, count);
    return true;
}

bool NorFlash::load(const std::string &path, std::string &error)
{
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) {
        if (errno == ENOENT)
            return true;
        error = "cannot open FLASH file " + path + ": " + std::strerror(errno);
        return false;
    }
    std::vector<std::uint8_t> data(cells.size() + 1);
    const std::size_t got = std::fread(data.data(), 1, data.size(), f);
    std::fclose(f);
    if (got != cells.size()) {
        error = "FLASH file " + path + " holds " + std::to_string(got == data.size() ? got - 1 : got)
            + (got == data.size() ? "+" : "") + " bytes, the FLASH has " + std::to_string(cells.size());
        return false;
    }
    data.pop_back();
    cells = std::move(data);
    changed = false;
    return true;
}

bool NorFlash::save(const std::string &path, std::string &error)
{
    const std::string temporary = path + ".part";
    std::FILE *f = std::fopen(temporary.c_str(), "wb");
    if (!f) {
        error = "cannot write FLASH file " + temporary + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(cells.data(), 1, cells.size(), f) == cells.size();
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot write FLASH file " + path + ": " + std::strerror(errno);
        std::remove(temporary.c_str());
        return false;
    }
    changed = false;
    return true;
}

} // namespace sim
