#pragma once

// What the virtual board is and which faults it shows: filled by the
// lodvane-sim command line, or directly by tests that run the board in-process.

#include "corecatalogue.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

constexpr std::uint32_t kDefaultExternalFlashBytes = 4u * 1024 * 1024;

// The board's processor is a row of the program's core catalogue.
constexpr int kDefaultCoreIndex = 5; // ADSP-BF518F16

// Every fault is off by default; a count of -1 means "not set".
struct Faults
{
    bool noAutoBaudAnswer = false;
    bool autoBaudAnswerGiven = false;
    std::vector<std::uint8_t> autoBaudAnswer; // sent instead of the real answer
    bool noSyncAck = false;
    long ackOnlySyncNumber = -1;        // syncs before the n-th (1-based) go unanswered
    long dropAckAfterPieces = -1;       // program pieces after the first n are ignored
    long long corruptReadOffset = -1;   // this FLASH offset reads back with its bits inverted
    long long muteAfterBytes = -1;      // the board falls silent after sending n bytes
};

struct Options
{
    int coreIndex = kDefaultCoreIndex;
    std::uint32_t flashBytes = 0;        // 0: by core (its stacked FLASH, else the external default)
    std::string flashFile;               // where the FLASH contents persist; empty: not kept
    unsigned lineBaud = 0;               // 0: no line-speed emulation
    bool bootFromFlash = false;          // a reset runs the application held in FLASH
    bool echoTyped = false;              // the monitor echoes typed characters (older firmware did)
    Faults faults;

    const CoreRow &core() const { return kCoreRows[coreIndex]; }

    std::uint32_t effectiveFlashBytes() const
    {
        if (flashBytes)
            return flashBytes;
        return core().stackedFlashBytes ? core().stackedFlashBytes : kDefaultExternalFlashBytes;
    }
};

} // namespace sim
