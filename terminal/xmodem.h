#pragma once

#include <QString>

// Control bytes of the XMODEM protocol and of the board's file handshakes.
namespace Xmodem {
constexpr unsigned char kSoh = 0x01;
constexpr unsigned char kStx = 0x02;
constexpr unsigned char kEot = 0x04;
constexpr unsigned char kAck = 0x06;
constexpr unsigned char kBel = 0x07;
constexpr unsigned char kNak = 0x15;
constexpr unsigned char kCan = 0x18;
constexpr unsigned char kCtrlZ = 0x1A;
constexpr unsigned char kCrcRequest = 'C';

constexpr int kBlockSize = 128;
constexpr int kLongBlockSize = 1024;
// Start byte, number, complement, the longest data, two CRC bytes, one spare.
constexpr int kPacketBufferSize = 1030;

// Results below zero.
constexpr int kCancelled = -1;        // the other end sent CAN CAN
constexpr int kNoSync = -2;           // no start of transfer
constexpr int kTooManyRepeats = -3;   // receive: a block repeated three times
constexpr int kBlockNotAcked = -4;    // transmit: three attempts without ACK
constexpr int kEndNotAcked = -5;      // transmit: EOT never acknowledged
constexpr int kAborted = -6;          // receive: the user pressed "Abort"; the sender got CANs
} // namespace Xmodem

// What a transfer engine needs of its surroundings: the terminal's byte wait
// and port, the LOG window and the progress dialog. The window provides the
// real one; tests and fuzzers can provide their own clock and peer.
class XmodemChannel
{
public:
    virtual ~XmodemChannel() = default;

    // Next received byte 0..255, or -1 when none came within `ticks`.
    virtual int receiveByte(int ticks) = 0;
    virtual void sendByte(unsigned char byte) = 0;
    virtual void flushInput() = 0;
    // One LOG line.
    virtual void log(const QString &line) = 0;

    // The progress dialog, shown for the length of one transfer. Only an
    // abortable transfer (a receive) is stopped by its "Abort" button; the
    // channel's byte wait may then end early.
    virtual void beginProgress(int maximum, bool abortable) = 0;
    virtual void setProgress(int value) = 0;
    virtual bool abortRequested() = 0;
    virtual void endProgress() = 0;
};

// True when the check after `size` bytes of `data` matches them: two CRC
// bytes (high first) in CRC mode, one arithmetic checksum byte otherwise.
bool xmodemCheck(bool crcMode, const unsigned char *data, int size);

// Receives into `destination` (at most `capacity` bytes); the byte count or
// a negative result.
int xmodemRx(XmodemChannel &channel, unsigned char *destination, int capacity);

// Sends `size` bytes of `source` in 128-byte blocks; `size` or a negative result.
int xmodemTx(XmodemChannel &channel, const unsigned char *source, int size);
