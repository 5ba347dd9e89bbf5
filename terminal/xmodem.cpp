// The XMODEM engines of the terminal: receive with 128- and 1024-byte blocks
// in CRC-16 or checksum mode, transmit with 128-byte blocks.
#include "xmodem.h"

#include "crc16.h"

#include <algorithm>
#include <cstring>

using namespace Xmodem;

namespace {

constexpr int kWaitTicks = 10;           // every wait of the receiver
constexpr int kRxSyncAttempts = 30;
constexpr int kRxRepeatAllowance = 3;    // repeats tolerated before the first block
constexpr int kTxSyncAttempts = 16;
constexpr int kTxWaitTicks = 20;
constexpr int kTxBlockAttempts = 3;
constexpr int kTxEotAttempts = 10;
constexpr int kCancelBytes = 3;
constexpr int kCountFieldWidth = 6;

// Shows the dialog for the life of one engine run, whatever way it ends.
class ProgressScope
{
public:
    ProgressScope(XmodemChannel &c, int maximum, bool abortable) : channel(c)
    {
        channel.beginProgress(maximum, abortable);
    }
    ~ProgressScope() { channel.endProgress(); }
    ProgressScope(const ProgressScope &) = delete;
    ProgressScope &operator=(const ProgressScope &) = delete;

private:
    XmodemChannel &channel;
};

void sendCancel(XmodemChannel &channel)
{
    for (int i = 0; i < kCancelBytes; ++i)
        channel.sendByte(kCan);
}

void reportCount(XmodemChannel &channel, int count)
{
    channel.log(QStringLiteral("%1").arg(count, kCountFieldWidth));
    channel.setProgress(count);
}

// What ended a synchronisation wait of the receiver.
enum class RxStart { Block, End, Cancelled, Failed, Aborted };

// The user's "Abort" is looked at around every wait, so that nothing more
// is asked of the sender once it was pressed.
RxStart rxSynchronise(XmodemChannel &channel, unsigned char &request, int &blockSize)
{
    int attempts = 0;
    for (;;) {
        if (attempts == kRxSyncAttempts) {
            if (request != kCrcRequest)
                return RxStart::Failed;
            request = kNak; // the sender ignores CRC: ask for checksums
            attempts = 0;
        }
        if (channel.abortRequested())
            return RxStart::Aborted;
        if (request)
            channel.sendByte(request);
        const int byte = channel.receiveByte(kWaitTicks);
        if (channel.abortRequested())
            return RxStart::Aborted;
        if (byte == kSoh || byte == kStx) {
            blockSize = byte == kSoh ? kBlockSize : kLongBlockSize;
            return RxStart::Block;
        }
        if (byte == kEot)
            return RxStart::End;
        if (byte == kCan && channel.receiveByte(kWaitTicks) == kCan)
            return RxStart::Cancelled;
        ++attempts;
    }
}

// Reads the rest of a packet after its start byte; false on a time-out or
// when the user aborts.
bool rxReadPacket(XmodemChannel &channel, unsigned char *packet, int count)
{
    for (int i = 0; i < count; ++i) {
        const int byte = channel.receiveByte(kWaitTicks);
        if (byte < 0 || channel.abortRequested())
            return false;
        packet[i] = static_cast<unsigned char>(byte);
    }
    return true;
}

int txSynchronise(XmodemChannel &channel, bool &crcMode)
{
    for (int attempt = 0; attempt < kTxSyncAttempts; ++attempt) {
        const int answer = channel.receiveByte(kTxWaitTicks);
        if (answer < 0) {
            channel.log(QStringLiteral("Terminal:  (HEAD) Sync timeout"));
        } else if (answer == kCrcRequest) {
            crcMode = true;
            channel.log(QStringLiteral("Terminal: X-Modem begin ..."));
            return 0;
        } else if (answer == kNak) {
            crcMode = false;
            return 0;
        } else if (answer == kCan && channel.receiveByte(kWaitTicks) == kCan) {
            channel.sendByte(kAck);
            channel.flushInput();
            channel.log(QStringLiteral("Terminal: X-Modem Canceled by remote"));
            return kCancelled;
        }
    }
    sendCancel(channel);
    channel.flushInput();
    channel.log(QStringLiteral("Terminal: X-Modem Sync error (HEAD)"));
    return kNoSync;
}

// Builds the packet that carries the source from `sent` on; its length.
int txBuildPacket(unsigned char *packet, unsigned char block, bool crcMode,
                  const unsigned char *source, int size, int sent)
{
    unsigned char *data = packet + 3;
    packet[0] = kSoh;
    packet[1] = block;
    packet[2] = static_cast<unsigned char>(~block);
    std::memset(data, 0, kBlockSize);
    const int left = size - sent;
    if (left == 0) {
        data[0] = kCtrlZ;
    } else {
        const int count = std::min(left, kBlockSize);
        std::memcpy(data, source + sent, size_t(count));
        if (count < kBlockSize)
            data[count] = kCtrlZ;
    }
    if (crcMode) {
        const std::uint16_t crc = crc16(data, kBlockSize);
        data[kBlockSize] = static_cast<unsigned char>(crc >> 8);
        data[kBlockSize + 1] = static_cast<unsigned char>(crc & 0xFF);
        return kBlockSize + 5;
    }
    unsigned sum = 0;
    for (int i = 0; i < kBlockSize; ++i)
        sum += data[i];
    data[kBlockSize] = static_cast<unsigned char>(sum & 0xFF);
    return kBlockSize + 4;
}

// Sends one packet, up to three times; 0 when acknowledged, else the result.
int txSendPacket(XmodemChannel &channel, const unsigned char *packet, int length)
{
    for (int attempt = 0; attempt < kTxBlockAttempts; ++attempt) {
        for (int i = 0; i < length; ++i)
            channel.sendByte(packet[i]);
        channel.log(QStringLiteral("Terminal: packet %1 sent, buffer size %2, retry %3")
                        .arg(packet[1])
                        .arg(length)
                        .arg(attempt));
        const int answer = channel.receiveByte(kTxWaitTicks);
        channel.log(QStringLiteral("Terminal: Host answer %1").arg(answer));
        if (answer == kAck)
            return 0;
        if (answer == kNak) {
            channel.log(QStringLiteral("Terminal: X-Modem NAK by remote"));
        } else if (answer == kCan) {
            if (channel.receiveByte(kWaitTicks) == kCan) {
                channel.sendByte(kAck);
                channel.flushInput();
                channel.log(QStringLiteral("Terminal: X-Modem Canceled by remote"));
                return kCancelled;
            }
        } else if (answer < 0) {
            channel.log(QStringLiteral("Terminal: (BODY) Sync timeout"));
        } else {
            channel.log(QStringLiteral("Terminal: Unknown rxed code 0x%1").arg(answer, 0, 16));
        }
    }
    sendCancel(channel);
    channel.flushInput();
    channel.log(QStringLiteral("Terminal: X-Modem Sync error (BODY)"));
    return kBlockNotAcked;
}

} // namespace

bool xmodemCheck(bool crcMode, const unsigned char *data, int size)
{
    if (crcMode) {
        const unsigned expected = (unsigned(data[size]) << 8) | data[size + 1];
        return crc16(data, size) == expected;
    }
    unsigned sum = 0;
    for (int i = 0; i < size; ++i)
        sum += data[i];
    return (sum & 0xFF) == data[size];
}

int xmodemRx(XmodemChannel &channel, unsigned char *destination, int capacity)
{
    bool crcMode = false;
    unsigned char request = kCrcRequest;
    unsigned char expected = 1;
    int received = 0;
    int allowance = kRxRepeatAllowance;
    unsigned char packetBuffer[kPacketBufferSize];
    ProgressScope progress(channel, capacity, true);
    // The user's abort: the sender is cancelled and told nothing else.
    auto aborted = [&channel] {
        channel.flushInput();
        sendCancel(channel);
        return kAborted;
    };

    for (;;) {
        int blockSize = 0;
        switch (rxSynchronise(channel, request, blockSize)) {
        case RxStart::End:
            channel.flushInput();
            channel.sendByte(kAck);
            return received;
        case RxStart::Cancelled:
            channel.flushInput();
            channel.sendByte(kAck);
            channel.log(QStringLiteral("Terminal: X-Modem Canceled by remote"));
            return kCancelled;
        case RxStart::Failed:
            channel.flushInput();
            sendCancel(channel);
            channel.log(QStringLiteral("Terminal: X-Modem Sync error"));
            return kNoSync;
        case RxStart::Aborted:
            return aborted();
        case RxStart::Block:
            break;
        }

        // The mode is fixed by the first block: CRC if our "C" was answered.
        if (request == kCrcRequest)
            crcMode = true;
        request = 0;
        packetBuffer[0] = static_cast<unsigned char>(blockSize == kBlockSize ? kSoh : kStx);
        const int rest = blockSize + 3 + (crcMode ? 1 : 0);
        const bool good = rxReadPacket(channel, packetBuffer + 1, rest)
                          && packetBuffer[1] == static_cast<unsigned char>(~packetBuffer[2])
                          && (packetBuffer[1] == expected
                              || packetBuffer[1] == static_cast<unsigned char>(expected - 1))
                          && xmodemCheck(crcMode, packetBuffer + 3, blockSize);
        if (channel.abortRequested())
            return aborted();
        if (!good) {
            channel.flushInput();
            channel.sendByte(kNak);
            continue;
        }

        if (packetBuffer[1] == expected) {
            const int count = std::min(blockSize, capacity - received);
            if (count > 0) {
                std::memcpy(destination + received, packetBuffer + 3, size_t(count));
                received += count;
                reportCount(channel, received);
            }
            expected = static_cast<unsigned char>(expected + 1);
            allowance = kRxRepeatAllowance + 1;
        }
        if (--allowance <= 0) {
            channel.flushInput();
            sendCancel(channel);
            channel.log(QStringLiteral("Terminal: X-Modem Too many retry error"));
            return kTooManyRepeats;
        }
        if (channel.abortRequested())
            return aborted(); // the block taken last is not acknowledged
        channel.sendByte(kAck);
    }
}

int xmodemTx(XmodemChannel &channel, const unsigned char *source, int size)
{
    bool crcMode = true;
    unsigned char block = 1;
    int sent = 0;
    ProgressScope progress(channel, size, false);

    const int synced = txSynchronise(channel, crcMode);
    if (synced < 0)
        return synced;

    unsigned char packet[kPacketBufferSize];
    while (size - sent >= 0) {
        const int length = txBuildPacket(packet, block, crcMode, source, size, sent);
        const int result = txSendPacket(channel, packet, length);
        if (result < 0)
            return result;
        block = static_cast<unsigned char>(block + 1);
        sent += kBlockSize;
        reportCount(channel, sent);
    }

    int answer = -1;
    for (int attempt = 0; attempt < kTxEotAttempts && answer != kAck; ++attempt) {
        channel.sendByte(kEot);
        answer = channel.receiveByte(kTxWaitTicks);
    }
    channel.flushInput();
    return answer == kAck ? size : kEndNotAcked;
}
