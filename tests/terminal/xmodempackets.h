#pragma once

// XMODEM packets as a peer sends them, for the tests that play one.

#include "crc16.h"
#include "xmodem.h"

#include <QByteArray>

// Start byte, number, complement, data, then two CRC bytes (high first) or
// one arithmetic checksum byte.
inline QByteArray xmodemPacket(unsigned char start, int number, const QByteArray &data, bool crc = true)
{
    const auto n = static_cast<unsigned char>(number);
    QByteArray packet;
    packet.append(char(start)).append(char(n)).append(char(~n)).append(data);
    if (crc) {
        const std::uint16_t value = crc16(reinterpret_cast<const unsigned char *>(data.constData()), data.size());
        return packet.append(char(value >> 8)).append(char(value & 0xFF));
    }
    unsigned sum = 0;
    for (char b : data)
        sum += static_cast<unsigned char>(b);
    return packet.append(char(sum & 0xFF));
}

inline QByteArray soh(int number, const QByteArray &data, bool crc = true)
{
    return xmodemPacket(Xmodem::kSoh, number, data, crc);
}

// `data` as our transmitter sends it: a CTRL-Z after the end, zeros to the
// block boundary (so a whole last block is followed by a padding block).
inline QByteArray blocksOf(const QByteArray &data, bool crc = true)
{
    QByteArray padded = data + char(Xmodem::kCtrlZ);
    padded += QByteArray((Xmodem::kBlockSize - padded.size() % Xmodem::kBlockSize) % Xmodem::kBlockSize, '\0');
    QByteArray out;
    for (int n = 0; n * Xmodem::kBlockSize < padded.size(); ++n)
        out += soh(n + 1, padded.mid(n * Xmodem::kBlockSize, Xmodem::kBlockSize), crc);
    return out;
}
