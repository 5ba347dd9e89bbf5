#include "ptypair.h"

#include <QElapsedTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

PtyPair::PtyPair()
{
    const int fd = posix_openpt(O_RDWR | O_NOCTTY);
    const char *name = fd >= 0 && grantpt(fd) == 0 && unlockpt(fd) == 0 ? ptsname(fd) : nullptr;
    if (!name) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    // Raw mode on the master so that no byte is translated on its way.
    termios tio;
    if (tcgetattr(fd, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
    }
    masterFd = fd;
    slave = QString::fromLocal8Bit(name);
}

PtyPair::~PtyPair()
{
    if (masterFd >= 0)
        ::close(masterFd);
}

bool PtyPair::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (masterFd >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(masterFd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0 && errno != EINTR)
            return false;
        done += qMax<ssize_t>(n, 0);
    }
    return masterFd >= 0;
}

QByteArray PtyPair::read(int count, int timeoutMs)
{
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    for (int left = timeoutMs; masterFd >= 0 && got.size() < count && left > 0; left = timeoutMs - int(clock.elapsed())) {
        pollfd p{masterFd, POLLIN, 0};
        if (::poll(&p, 1, left) <= 0)
            continue;
        if (!(p.revents & POLLIN)) {
            // No slave open yet (or any more): the master reports a hang-up
            // at once, so wait a little instead of spinning.
            ::usleep(5000);
            continue;
        }
        char buf[4096];
        const ssize_t n = ::read(masterFd, buf, size_t(qMin<int>(int(sizeof buf), count - got.size())));
        if (n > 0)
            got.append(buf, int(n));
        else if (n < 0 && errno != EINTR && errno != EAGAIN)
            break;
    }
    return got;
}

QByteArray PtyPair::readUntilQuiet(int quietMs, int limitMs)
{
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    pollfd p{masterFd, POLLIN, 0};
    char buf[4096];
    ssize_t n = 0;
    while (masterFd >= 0 && clock.elapsed() < limitMs && ::poll(&p, 1, quietMs) > 0 && (p.revents & POLLIN)
           && (n = ::read(masterFd, buf, sizeof buf)) > 0)
        got.append(buf, int(n));
    return got;
}
