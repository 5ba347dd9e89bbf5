#include "recordfile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

RecordFile::~RecordFile()
{
    if (fd >= 0)
        ::close(fd);
}

bool RecordFile::open(const QString &path, QString &error)
{
    fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        error = systemError(errno);
    return fd >= 0;
}

bool RecordFile::append(const QByteArray &line, QString &error)
{
    const std::lock_guard<std::mutex> lock(mutex);
    // One write takes the whole line unless something is wrong (a full
    // disk); the rest is tried only to learn the reason.
    const ssize_t size = line.size();
    ssize_t done = 0;
    int cause = 0;
    while (done < size && cause == 0) {
        const ssize_t n = ::write(fd, line.constData() + done, std::size_t(size - done));
        if (n > 0)
            done += n;
        else if (n == 0 || errno != EINTR)
            cause = n == 0 ? ENOSPC : errno;
    }
    if (done == size) {
        // Records matter most when the machine goes down: on the disk now.
        // Pipes and terminals have nothing to sync.
        if (::fdatasync(fd) == 0 || errno == EINVAL || errno == EROFS)
            return true;
        error = systemError(errno);
        return false;
    }
    error = systemError(cause);
    if (done > 0) {
        // Cut the part that did go in, so the file ends on a whole line.
        const off_t end = ::lseek(fd, 0, SEEK_END);
        if (end < done || ::ftruncate(fd, end - done) != 0)
            error += QStringLiteral("; the file now ends in half a line");
    }
    return false;
}
