#include "filetransfer.h"

#include "xmodem.h"

#include <QList>

namespace FileTransfer {

namespace {

constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;
constexpr int kMaxSizeDigits = 9; // enough for kMaxDeviceFileSize

// Decimal digits with optional blanks around them; -1 when anything else.
long parseSize(QByteArray text)
{
    text = text.trimmed();
    if (text.isEmpty() || text.size() > kMaxSizeDigits)
        return -1;
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

Marker chunkMarker(const QByteArray &chunk)
{
    if (chunk.isEmpty())
        return Marker::None;
    const auto first = static_cast<unsigned char>(chunk.at(0));
    const auto second = chunk.size() > 1 ? static_cast<unsigned char>(chunk.at(1)) : 0;
    if (first == kDeviceSendsMarker || second == kDeviceSendsMarker)
        return Marker::DeviceSends;
    if (first == kDeviceRequestsMarker || second == kDeviceRequestsMarker)
        return Marker::DeviceRequests;
    return Marker::None;
}

long transferSize(long fileSize)
{
    const long block = Xmodem::kBlockSize;
    return (fileSize + block - 1) / block * block;
}

bool isSafeFileName(const QByteArray &name)
{
    if (name.isEmpty() || name.startsWith('/'))
        return false;
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < kFirstPrintable || byte == kDelete)
            return false;
    }
    const QList<QByteArray> parts = name.split('/');
    for (const QByteArray &part : parts) {
        if (part == "..")
            return false;
    }
    return true;
}

DeviceHeader parseDeviceHeader(const QByteArray &line)
{
    DeviceHeader header;
    const QList<QByteArray> parts = line.split(',');
    if (parts.size() != 2 || !line.endsWith(kLineEnd))
        return header;
    header.name = parts.at(0);
    if (!isSafeFileName(header.name)) {
        header.status = HeaderStatus::RefusedName;
        return header;
    }
    header.size = parseSize(parts.at(1));
    if (header.size < 0 || header.size > kMaxDeviceFileSize) {
        header.status = HeaderStatus::BadSize;
        return header;
    }
    header.status = HeaderStatus::Ok;
    return header;
}

QByteArray requestedName(const QByteArray &line)
{
    return line.left(line.size() - 1);
}

} // namespace FileTransfer
