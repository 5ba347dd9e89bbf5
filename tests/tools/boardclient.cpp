#include "boardclient.h"

#include <QElapsedTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr char kAutoBaud = 0x40;
constexpr char kAutoBaudReply = char(0xBF);
constexpr char kSync = 0x55;
constexpr char kAck = char(0xAA);
constexpr char kErase = 0x01;
constexpr char kProgram = 0x02;
constexpr char kRead = 0x03;

speed_t speedCode(int baud)
{
    switch (baud) {
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: return B115200;
    }
}

void putBigEndian(QByteArray &out, quint32 value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.append(char(value >> (8 * i)));
}

} // namespace

BoardClient::~BoardClient()
{
    close();
}

bool BoardClient::open(const QString &path, int baud)
{
    close();
    fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    termios tio;
    if (tcgetattr(fd, &tio) != 0) {
        close();
        return false;
    }
    cfmakeraw(&tio);
    cfsetispeed(&tio, speedCode(baud));
    cfsetospeed(&tio, speedCode(baud));
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

void BoardClient::close()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool BoardClient::write(const QByteArray &bytes)
{
    int done = 0;
    QElapsedTimer clock;
    clock.start();
    while (fd >= 0 && done < bytes.size() && clock.elapsed() < kReplyWaitMs) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += int(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 50);
        }
    }
    return done == bytes.size();
}

QByteArray BoardClient::read(int count, int timeoutMs)
{
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (fd >= 0 && got.size() < count) {
        const int left = timeoutMs - int(clock.elapsed());
        if (left <= 0)
            break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, left) <= 0 || !(p.revents & POLLIN))
            continue;
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, size_t(qMin(int(sizeof buffer), count - got.size())));
        if (n > 0)
            got.append(buffer, int(n));
    }
    return got;
}

QByteArray BoardClient::autoBaud(int timeoutMs)
{
    if (!write(QByteArray(1, kAutoBaud)))
        return QByteArray();
    return read(4, timeoutMs);
}

bool BoardClient::boot(const QByteArray &stream)
{
    const QByteArray answer = autoBaud();
    return answer.size() == 4 && answer[0] == kAutoBaudReply && answer[3] == 0 && write(stream);
}

bool BoardClient::acked(int timeoutMs)
{
    const QByteArray answer = read(1, timeoutMs);
    return answer.size() == 1 && answer[0] == kAck;
}

bool BoardClient::sync()
{
    return write(QByteArray(1, kSync)) && acked();
}

QByteArray BoardClient::eraseFrame(quint16 block)
{
    QByteArray frame(1, kErase);
    putBigEndian(frame, block, 2);
    return frame;
}

QByteArray BoardClient::programFrame(quint32 piece, const QByteArray &data)
{
    QByteArray frame(1, kProgram);
    putBigEndian(frame, piece, 4);
    putBigEndian(frame, quint32(data.size()), 2);
    return frame + data;
}

QByteArray BoardClient::readFrame(quint32 piece, quint16 length)
{
    QByteArray frame(1, kRead);
    putBigEndian(frame, piece, 4);
    putBigEndian(frame, length, 2);
    return frame;
}

bool BoardClient::erase(quint16 block)
{
    return write(eraseFrame(block)) && acked();
}

bool BoardClient::program(quint32 piece, const QByteArray &data)
{
    return write(programFrame(piece, data)) && acked();
}

bool BoardClient::readPiece(quint32 piece, quint16 length, QByteArray &data)
{
    if (!write(readFrame(piece, length)))
        return false;
    const QByteArray answer = read(length + 1);
    data = answer.left(length);
    return answer.size() == length + 1 && answer.endsWith(kAck);
}
