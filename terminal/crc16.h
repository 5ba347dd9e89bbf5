#pragma once

#include <cstdint>

// CRC-16/XMODEM: polynomial 0x1021, initial value 0, not reflected, no final
// XOR. A size below 1 gives 0.
std::uint16_t crc16(const unsigned char *data, int size);
