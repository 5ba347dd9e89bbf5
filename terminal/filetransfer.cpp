#include "filetransfer.h"

#include "xmodem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

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

// Whether `path`, or its nearest existing ancestor, lies inside the working
// directory once links are followed.
bool resolvesInsideWorkingDirectory(QString path)
{
    QString root = QDir::current().canonicalPath();
    if (root.isEmpty())
        return false;
    if (!root.endsWith(QLatin1Char('/')))
        root += QLatin1Char('/');
    while (!QFileInfo::exists(path)) {
        const QString parent = QFileInfo(path).path();
        if (parent == path)
            return false;
        path = parent;
    }
    const QString resolved = QFileInfo(path).canonicalFilePath() + QLatin1Char('/');
    return resolved.startsWith(root);
}

// A new file gets the permissions an ordinary creation would give it.
QFileDevice::Permissions defaultPermissions()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const mode_t mode = 0666 & ~mask;
    QFileDevice::Permissions permissions;
    const struct {
        mode_t bit;
        QFileDevice::Permissions flags;
    } bits[] = {
        {S_IRUSR, QFileDevice::ReadOwner | QFileDevice::ReadUser},
        {S_IWUSR, QFileDevice::WriteOwner | QFileDevice::WriteUser},
        {S_IRGRP, QFileDevice::ReadGroup},
        {S_IWGRP, QFileDevice::WriteGroup},
        {S_IROTH, QFileDevice::ReadOther},
        {S_IWOTH, QFileDevice::WriteOther},
    };
    for (const auto &bit : bits) {
        if (mode & bit.bit)
            permissions |= bit.flags;
    }
    return permissions;
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

bool isSafeFileName(const QByteArray &name, FileUse use)
{
    if (name.isEmpty() || name.startsWith('/'))
        return false;
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < kFirstPrintable || byte == kDelete)
            return false;
    }
    // "..", "." and hidden files and folders (keys, shell start-up files,
    // autostart entries) are never the board's business.
    const QList<QByteArray> parts = name.split('/');
    for (const QByteArray &part : parts) {
        if (part.startsWith('.'))
            return false;
    }
    const QFileInfo info(QDir::current(), QFile::decodeName(name));
    return resolvesInsideWorkingDirectory(use == FileUse::Read ? info.absoluteFilePath()
                                                               : info.absolutePath());
}

ReceivedFile::ReceivedFile(const QString &name)
    : finalName(name)
    , temporary(name + QStringLiteral(".XXXXXX"))
{
}

bool ReceivedFile::open()
{
    if (!temporary.open())
        return false;
    const QFileInfo existing(finalName);
    const bool keepPermissions = existing.exists() && !existing.isSymLink();
    temporary.setPermissions(keepPermissions ? existing.permissions() : defaultPermissions());
    return true;
}

bool ReceivedFile::commit(const char *bytes, qint64 count)
{
    if (temporary.write(bytes, count) != count || !temporary.flush() || ::fsync(temporary.handle()) != 0)
        return false;
    // rename() replaces a link at the name rather than its target.
    const QByteArray from = QFile::encodeName(temporary.fileName());
    temporary.close();
    if (std::rename(from.constData(), QFile::encodeName(finalName).constData()) != 0)
        return false;
    temporary.setAutoRemove(false);
    return true;
}

DeviceHeader parseDeviceHeader(const QByteArray &line)
{
    DeviceHeader header;
    const QList<QByteArray> parts = line.split(',');
    if (parts.size() != 2 || !line.endsWith(kLineEnd))
        return header;
    header.name = parts.at(0);
    if (!isSafeFileName(header.name, FileUse::Replace)) {
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
