#include "simimages.h"

#include <cstring>

namespace sim {

constexpr std::size_t kLoaderCodeBytes = 512;
constexpr std::uint32_t kDemoBssBytes = 0x400;

static std::vector<std::uint8_t> textPayload(const std::string &text, std::size_t size)
{
    std::vector<std::uint8_t> payload(text.begin(), text.end());
    payload.resize(std::max(size, payload.size() + 1), 0);
    return payload;
}

// A stream as the public tools write it: a FIRST block without payload whose
// argument is the size of the whole stream, the given blocks, a FINAL block.
static std::vector<std::uint8_t> withFrame(std::vector<bootstream::Block> inner)
{
    bootstream::Block first;
    first.flags = bootstream::kFlagFirst | bootstream::kFlagIgnore;
    first.address = kL1CodeAddress;
    bootstream::Block last;
    last.flags = bootstream::kFlagFinal;
    last.address = kL1CodeAddress;
    inner.insert(inner.begin(), first);
    inner.push_back(last);
    inner.front().argument = std::uint32_t(bootstream::write(inner).size());
    return bootstream::write(inner);
}

std::vector<std::uint8_t> loaderImage(const std::string &family)
{
    bootstream::Block code;
    code.address = kL1CodeAddress;
    code.payload = textPayload(std::string(kLoaderSignature) + family
                                   + "\nFirst-stage FLASH loader of the Lodvane virtual board. A real board needs "
                                     "the real loader for its FLASH in this place.\n",
                               kLoaderCodeBytes);
    return withFrame({code});
}

std::vector<std::uint8_t> demoImage()
{
    bootstream::Block code;
    code.address = kL1CodeAddress;
    code.payload = textPayload("Lodvane demo monitor image for the virtual board\n", 256);
    bootstream::Block bss;
    bss.flags = bootstream::kFlagFill;
    bss.address = kL1DataAddress;
    bss.byteCount = kDemoBssBytes;
    return withFrame({code, bss});
}

bool isCoreFamily(const std::string &family)
{
    for (const CoreRow &row : kCoreRows) {
        if (family == row.family)
            return true;
    }
    return false;
}

std::string loaderFamily(const std::vector<bootstream::Block> &blocks)
{
    const std::size_t signatureBytes = std::strlen(kLoaderSignature);
    for (const bootstream::Block &b : blocks) {
        if (b.payload.size() < signatureBytes || std::memcmp(b.payload.data(), kLoaderSignature, signatureBytes) != 0)
            continue;
        for (const CoreRow &row : kCoreRows) {
            const std::size_t n = std::strlen(row.family);
            if (b.payload.size() >= signatureBytes + n
                && std::memcmp(b.payload.data() + signatureBytes, row.family, n) == 0)
                return row.family;
        }
    }
    return std::string();
}

} // namespace sim
