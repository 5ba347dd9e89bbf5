#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryFile>

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

// What the host does with a file the board names.
enum class FileUse {
    Read,     // sends it: the name resolves whole, links followed
    Replace,  // receives it: the name itself is replaced, its folder resolves
};

// Whether a board may name this file: relative, not empty, no control
// characters, no component starting with "." (no "..", no hidden files or
// folders), and, with links followed, inside the working directory.
bool isSafeFileName(const QByteArray &name, FileUse use);

// A file the board sends: written to a temporary file beside its name and
// renamed over the name once complete, so that a failed transfer leaves what
// was there. A link at the name is replaced, never written through.
class ReceivedFile
{
public:
    explicit ReceivedFile(const QString &name);
    // Creates the temporary file; false when the folder takes none.
    bool open();
    // Writes all of `bytes`, then puts the file in place of the name.
    bool commit(const char *bytes, qint64 count);
    QString fileName() const { return finalName; }

private:
    QString finalName;
    QTemporaryFile temporary;
};

enum class HeaderStatus { Ok, Malformed, RefusedName, BadSize };

struct DeviceHeader
{
    HeaderStatus status = HeaderStatus::Malformed;
    QByteArray name;
    long size = 0;
};

// Reads a device-to-host header: exactly one comma, a name safe to replace,
// a decimal size from 0 to kMaxDeviceFileSize, and the ending line feed.
DeviceHeader parseDeviceHeader(const QByteArray &line);

// The name in a host-to-device request: the line less its last byte.
QByteArray requestedName(const QByteArray &line);

} // namespace FileTransfer
