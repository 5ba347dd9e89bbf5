#pragma once

#include <QByteArray>

// The line-oriented handshakes with which the board starts a file transfer:
// a device-to-host header "name,size\n" and a host-to-device request "name\n".
namespace FileTransfer {

// First two bytes of a received chunk: the board sends a file, or asks for one.
constexpr unsigned char kDeviceSendsMarker = 0xFF;
constexpr unsigned char kDeviceRequestsMarker = 0xFE;
// Largest file the board may announce.
constexpr long kMaxDeviceFileSize = 64L * 1024 * 1024;
constexpr char kLineEnd = '\n';

enum class Marker { None, DeviceSends, DeviceRequests };

// Which transfer a chunk starts; a one-byte chunk counts as if followed by 0.
Marker chunkMarker(const QByteArray &chunk);

// The XMODEM area for a file: the next multiple of 128 bytes (0 stays 0).
long transferSize(long fileSize);

// Whether a board-given name stays inside the working directory: relative,
// no ".." component, not empty, no control characters.
bool isSafeFileName(const QByteArray &name);

enum class HeaderStatus { Ok, Malformed, RefusedName, BadSize };

struct DeviceHeader
{
    HeaderStatus status = HeaderStatus::Malformed;
    QByteArray name;
    long size = 0;
};

// Reads a device-to-host header: exactly one comma, a safe name, a decimal
// size from 0 to kMaxDeviceFileSize, and the ending line feed.
DeviceHeader parseDeviceHeader(const QByteArray &line);

// The name in a host-to-device request: the line less its last byte.
QByteArray requestedName(const QByteArray &line);

} // namespace FileTransfer
