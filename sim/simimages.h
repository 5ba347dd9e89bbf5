#pragma once

// The boot streams that come with the virtual board: the first-stage FLASH
// loaders it recognises, and the demo application image.

#include "bootstream.h"
#include "corecatalogue.h"

#include <string>
#include <vector>

namespace sim {

// Start of the loader's code block; the family name follows it. There is
// one loader for each family of the core catalogue.
constexpr const char *kLoaderSignature = "LODVANE-VIRTUAL-FLASHLOADER ";
constexpr std::uint32_t kL1CodeAddress = 0xFFA00000;
constexpr std::uint32_t kL1DataAddress = 0xFF800000;

// Whether some core of the catalogue belongs to `family`.
bool isCoreFamily(const std::string &family);
std::vector<std::uint8_t> loaderImage(const std::string &family);
std::vector<std::uint8_t> demoImage();

// The family of a loader image ("BF51x", "BF592"), or empty when the blocks
// are some other program.
std::string loaderFamily(const std::vector<bootstream::Block> &blocks);

} // namespace sim
