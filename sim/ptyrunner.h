#pragma once

// Puts a virtual board on a pseudo-terminal: opens the pair, keeps the line
// raw, watches for the host closing the port (hang-up) and moves bytes both
// ways, at the emulated line speed when one is set.

#include "simboard.h"

#include <csignal>
#include <string>

namespace sim {

constexpr int kHangupPollMs = 10;   // how often a port without a host is looked at again
constexpr int kIdlePollMs = 200;    // longest sleep while waiting for bytes
constexpr unsigned kBitsPerByte = 10; // start, 8 data, stop

class PtyPort
{
public:
    PtyPort() = default;
    ~PtyPort();
    PtyPort(const PtyPort &) = delete;
    PtyPort &operator=(const PtyPort &) = delete;

    bool open(std::string &error);
    const std::string &slavePath() const { return slave; }
    int masterFd() const { return master; }
    // The speed the host set on its side of the line, in bits per second (0: unknown).
    unsigned hostBaud() const;

private:
    int master = -1;
    std::string slave;
};

class PtyRunner
{
public:
    PtyRunner(PtyPort &port, SimBoard &board, unsigned lineBaud, const BoardReports &reports);
    // Runs until *stop becomes non-zero. Calls onReset after a hang-up reset
    // (the command line saves the FLASH there).
    void run(volatile std::sig_atomic_t *stop, void (*onReset)(void *), void *context);

    struct Line; // bytes on their way in and out (ptyrunner.cpp)

private:
    void hangUp(Line &line, void (*onReset)(void *), void *context);

    PtyPort &port;
    SimBoard &board;
    unsigned lineBaud;
    const BoardReports &reports;
};

} // namespace sim
