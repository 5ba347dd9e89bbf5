#include "ptyrunner.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

using Clock = std::chrono::steady_clock;

struct SpeedCode
{
    speed_t code;
    unsigned bps;
};

// termios speed codes and what they mean; the host picks one of these.
static const SpeedCode kSpeeds[] = {
    {B300, 300},       {B600, 600},       {B1200, 1200},     {B2400, 2400},       {B4800, 4800},
    {B9600, 9600},     {B19200, 19200},   {B38400, 38400},   {B57600, 57600},     {B115200, 115200},
    {B230400, 230400}, {B460800, 460800}, {B500000, 500000}, {B576000, 576000},   {B921600, 921600},
    {B1000000, 1000000}, {B1500000, 1500000}, {B2000000, 2000000},
};

PtyPort::~PtyPort()
{
    if (master >= 0)
        ::close(master);
}

bool PtyPort::open(std::string &error)
{
    int fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0 || grantpt(fd) != 0 || unlockpt(fd) != 0 || !ptsname(fd)) {
        error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    // Raw line on the slave side (set through the master), so no byte of a
    // boot stream is translated before the host even configures its port.
    termios tio;
    if (tcgetattr(fd, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
    }
    master = fd;
    slave = ptsname(fd);
    return true;
}

unsigned PtyPort::hostBaud() const
{
    termios tio;
    if (master < 0 || tcgetattr(master, &tio) != 0)
        return 0;
    const speed_t code = cfgetospeed(&tio);
    for (const SpeedCode &s : kSpeeds) {
        if (s.code == code)
            return s.bps;
    }
    return 0;
}

PtyRunner::PtyRunner(PtyPort &port_, SimBoard &board_, unsigned lineBaud_, const BoardReports &reports_)
    : port(port_), board(board_), lineBaud(lineBaud_), reports(reports_)
{
}

// The state of one run: bytes on their way in (each with the time it has
// fully arrived) and the chunk on its way out.
struct PtyRunner::Line
{
    struct Arriving
    {
        std::uint8_t byte;
        Clock::time_point at;
    };

    Clock::duration byteTime{0}; // zero: no line-speed emulation
    std::deque<Arriving> rx;
    Clock::time_point rxLineFree = Clock::now();
    OutChunk tx;
    std::size_t txPos = 0;
    bool txActive = false;
    bool txBlocked = false;
    Clock::time_point txStart;
    Clock::time_point txLineFree = Clock::now();
    // Linux shows no hang-up before the slave was first opened, so the line
    // starts as if a host were there; only a hang-up after that resets.
    bool hostPresent = true;

    void clearLine()
    {
        rx.clear();
        txActive = false;
        txBlocked = false;
    }

    Clock::time_point nextTxDue() const
    {
        return byteTime.count() ? txStart + byteTime * long(txPos + 1) : txStart;
    }

    // How long to wait for the host, to the nanosecond: a wait rounded up to
    // whole milliseconds would add up to a millisecond to every answer of the
    // emulated line, several per cent of a loader frame at 115200 bit/s.
    timespec pollTimeout(Clock::time_point now) const
    {
        Clock::time_point next = now + std::chrono::milliseconds(kIdlePollMs);
        if (!rx.empty())
            next = std::min(next, rx.front().at);
        if (txActive && !txBlocked)
            next = std::min(next, nextTxDue());
        const long long wait = std::max<long long>(
            0, std::chrono::duration_cast<std::chrono::nanoseconds>(next - now).count());
        return timespec{time_t(wait / 1000000000), long(wait % 1000000000)};
    }
};

// Hands the board every byte whose last bit has arrived.
static void deliverArrived(PtyRunner::Line &s, SimBoard &board, Clock::time_point now)
{
    while (!s.rx.empty() && s.rx.front().at <= now) {
        board.receive(s.rx.front().byte);
        s.rx.pop_front();
    }
}

// Writes what is due of the chunk on its way out; true when it is done.
static bool writeDue(PtyRunner::Line &s, int fd, Clock::time_point now)
{
    std::size_t due = s.tx.bytes.size();
    if (s.byteTime.count())
        due = std::min(due, std::size_t((now - s.txStart) / s.byteTime));
    if (due > s.txPos) {
        const ssize_t n = ::write(fd, s.tx.bytes.data() + s.txPos, due - s.txPos);
        s.txBlocked = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        if (n > 0)
            s.txPos += std::size_t(n);
        else if (n < 0 && !s.txBlocked && errno != EINTR)
            s.txPos = s.tx.bytes.size(); // the host is gone; the hang-up resets
    }
    if (s.txPos < s.tx.bytes.size())
        return false;
    s.txActive = false;
    s.txLineFree = s.byteTime.count() ? s.txStart + s.byteTime * long(s.tx.bytes.size()) : now;
    return true;
}

// Takes what the host wrote; each byte arrives one byte time after the
// previous one (at once without line-speed emulation).
static ssize_t readHost(PtyRunner::Line &s, int fd)
{
    std::uint8_t buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    const Clock::time_point now = Clock::now();
    for (ssize_t i = 0; i < n; ++i) {
        const Clock::time_point at = s.byteTime.count() ? std::max(s.rxLineFree, now) + s.byteTime : now;
        s.rxLineFree = at;
        s.rx.push_back(PtyRunner::Line::Arriving{buffer[i], at});
    }
    return n;
}

void PtyRunner::run(volatile std::sig_atomic_t *stop, void (*onReset)(void *), void *context)
{
    Line s;
    if (lineBaud)
        s.byteTime = std::chrono::duration_cast<Clock::duration>(
            std::chrono::nanoseconds(std::uint64_t(kBitsPerByte) * 1000000000ull / lineBaud));
    const int fd = port.masterFd();
    while (!*stop) {
        const Clock::time_point now = Clock::now();
        deliverArrived(s, board, now);
        board.tick(now);
        if (!s.txActive && board.hasOutput()) {
            s.tx = board.takeOutput();
            s.txPos = 0;
            s.txActive = true;
            s.txStart = std::max(s.txLineFree, now) + std::chrono::milliseconds(s.tx.pauseMsBefore);
        }
        if (s.txActive && now >= s.txStart && writeDue(s, fd, now))
            continue;

        pollfd p{fd, short(POLLIN | (s.txBlocked ? POLLOUT : 0)), 0};
        const timespec timeout = s.pollTimeout(now);
        if (::ppoll(&p, 1, &timeout, nullptr) < 0)
            continue; // EINTR: a signal, perhaps the one that stops us
        if (p.revents & POLLHUP) {
            hangUp(s, onReset, context);
            continue;
        }
        if (!s.hostPresent) {
            s.hostPresent = true;
            if (reports.trace)
                reports.trace("host opened the port");
        }
        if (p.revents & POLLOUT)
            s.txBlocked = false;
        if (p.revents & POLLIN) {
            board.setHostBaud(port.hostBaud());
            readHost(s, fd);
        }
    }
}

// No process has the slave open. After a host had it, that is a hang-up: the
// board goes back to its boot ROM. Then look again after a short while (the
// master reports the hang-up at once for as long as it lasts).
void PtyRunner::hangUp(Line &s, void (*onReset)(void *), void *context)
{
    if (s.hostPresent) {
        s.hostPresent = false;
        // What the host wrote before it closed was on its way and still
        // reaches the board (a real port's close waits for its output to
        // drain); only then does the hang-up reset it.
        while (readHost(s, port.masterFd()) > 0) {
        }
        deliverArrived(s, board, Clock::time_point::max());
        s.clearLine();
        board.reset("hangup");
        if (onReset)
            onReset(context);
    }
    ::poll(nullptr, 0, kHangupPollMs);
}

} // namespace sim
