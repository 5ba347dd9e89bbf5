#pragma once

#include <QString>

// One row of the core catalogue.
struct CoreInfo
{
    int id;                          // 1..7, what every device operation receives
    QString name;                    // shown in the core list
    int hasInternalFlash;            // 1 for the parts with stacked FLASH
    unsigned int internalFlashSize;  // bytes, 0 when none
};

// Control-line code: the low 15 bits name the line, bit 15 is an invert flag
// that the sequences mask off.
typedef unsigned int ControlLine;
enum : ControlLine {
    kLineNone = 0,
    kLineRts = 1,
    kLineDtr = 2,
    kLineInvertFlag = 0x8000,
    kLineCodeMask = 0x7FFF,
};

// Which lines the boot step moves before an upload.
typedef unsigned int ResetMode;
enum : ResetMode {
    kResetNone = 0,       // board already waits in UART boot
    kResetPulse = 1,      // pulse RESET only
    kResetHoldBoot = 2,   // hold BOOT, pulse RESET
};
