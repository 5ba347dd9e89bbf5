#pragma once

// The processors Lodvane programs, one row each, in the order the core list
// shows them. Plain C++ without Qt: the link builds its catalogue from these
// rows, and the command-line tools and the virtual board read them as they
// stand.

#include <cstdint>

struct CoreRow
{
    int id;                          // 1.., the row's place in the list; what device operations receive
    const char *name;                // as the core list shows it
    const char *family;              // "BF51x" or "BF592": the family's first-stage loader serves it
    const char *loaderRelativePath;  // that loader, below the application directory
    std::uint32_t stackedFlashBytes; // FLASH stacked in the package, 0 when none
};

// What every core name starts with; people often leave it out ("BF592").
constexpr char kCoreNamePrefix[] = "ADSP-";
constexpr int kCoreNamePrefixLength = int(sizeof kCoreNamePrefix - 1);

constexpr const char *kBf51xLoader = "/sys/ADSP-BF51x/FlashLoader.ldr";
constexpr const char *kBf592Loader = "/sys/ADSP-BF592/FlashLoader.ldr";
constexpr std::uint32_t kF16FlashBytes = 0x200000;

constexpr CoreRow kCoreRows[] = {
    {1, "ADSP-BF512", "BF51x", kBf51xLoader, 0},
    {2, "ADSP-BF514", "BF51x", kBf51xLoader, 0},
    {3, "ADSP-BF516", "BF51x", kBf51xLoader, 0},
    {4, "ADSP-BF518", "BF51x", kBf51xLoader, 0},
    {5, "ADSP-BF514F16", "BF51x", kBf51xLoader, kF16FlashBytes},
    {6, "ADSP-BF518F16", "BF51x", kBf51xLoader, kF16FlashBytes},
    {7, "ADSP-BF592", "BF592", kBf592Loader, 0},
};
constexpr int kCoreCount = int(sizeof kCoreRows / sizeof kCoreRows[0]);

constexpr bool idsFollowTheRows()
{
    for (int i = 0; i < kCoreCount; ++i) {
        if (kCoreRows[i].id != i + 1)
            return false;
    }
    return true;
}
static_assert(idsFollowTheRows(), "core ids are 1.. in row order; coreById relies on it");

// The row of a core id, or null for an id outside the catalogue.
constexpr const CoreRow *coreById(int id)
{
    return id >= 1 && id <= kCoreCount ? &kCoreRows[id - 1] : nullptr;
}
