#pragma once

// A boot stream in the shape the tool chains for these parts write, made by
// the project's own writer so that no test depends on files from elsewhere:
// a FIRST block (IGNORE, no payload) whose argument is the stream's size, an
// INIT block, the code split over 256-byte blocks with a 64-byte IGNORE hole
// after the first of them, initialised data, a zero-filled section and an
// empty FINAL block.
//
// With 512 code bytes the blocks start at 0 (FIRST), 16 (INIT), 44 (code),
// 316 (IGNORE), 396 (code), 668 (data), 736 (FILL) and 752 (FINAL), and the
// stream is 768 bytes long; every further 256 code bytes add a block of 272.

#include "bootstream.h"

#include <cstdint>
#include <vector>

inline std::vector<std::uint8_t> sampleStream(std::size_t codeBytes)
{
    constexpr std::uint32_t kCodeAddress = 0xFFA08000;
    constexpr std::uint32_t kDataAddress = 0xFF800000;
    constexpr std::size_t kCodeBlockBytes = 256;
    auto block = [](std::uint32_t flags, std::uint32_t address, std::size_t payloadBytes, int seed) {
        bootstream::Block b;
        b.flags = flags;
        b.address = address;
        for (std::size_t i = 0; i < payloadBytes; ++i)
            b.payload.push_back(std::uint8_t(i * 29 + std::size_t(seed)));
        return b;
    };

    std::vector<bootstream::Block> blocks;
    blocks.push_back(block(bootstream::kFlagFirst | bootstream::kFlagIgnore, 0xFFA00000, 0, 0));
    blocks.push_back(block(bootstream::kFlagInit, 0xFFA00000, 12, 1));
    for (std::size_t done = 0; done < codeBytes; done += kCodeBlockBytes) {
        const std::size_t n = codeBytes - done < kCodeBlockBytes ? codeBytes - done : kCodeBlockBytes;
        blocks.push_back(block(0, kCodeAddress + std::uint32_t(done), n, 2));
        if (done == 0)
            blocks.push_back(block(bootstream::kFlagIgnore, 0, 64, 3));
    }
    blocks.push_back(block(0, kDataAddress, 52, 4));
    bootstream::Block bss = block(bootstream::kFlagFill, kDataAddress + 52, 0, 0);
    bss.byteCount = 0x444;
    blocks.push_back(bss);
    blocks.push_back(block(bootstream::kFlagFinal, 0xFFA00000, 0, 0));
    blocks.front().argument = std::uint32_t(bootstream::write(blocks).size());
    return bootstream::write(blocks);
}
