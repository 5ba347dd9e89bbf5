#pragma once

// How the parts of the virtual board talk to the line and report events.

#include <cstdint>
#include <functional>
#include <string>

namespace sim {

constexpr std::uint8_t kAutoBaudByte = 0x40; // the host's first byte; resets a loader that is idle

// Bytes the board sends. pauseMsBefore keeps the line quiet that long before
// the first byte, so that a host polling its port reads the bytes as a chunk
// of their own (the terminal recognises HTML and carriage-return updates by
// chunk).
class BoardOutput
{
public:
    virtual ~BoardOutput() = default;
    virtual void send(const std::uint8_t *data, std::size_t count, int pauseMsBefore) = 0;

    void send(const std::string &text, int pauseMsBefore = 0)
    {
        send(reinterpret_cast<const std::uint8_t *>(text.data()), text.size(), pauseMsBefore);
    }
    void sendByte(std::uint8_t byte) { send(&byte, 1, 0); }
};

// Where event lines go: trace for tests (one line per event), diagnostic for
// what a person watching the board should know (the command line prints it on
// stderr).
struct BoardReports
{
    std::function<void(const std::string &)> trace;
    std::function<void(const std::string &)> diagnostic;
};

} // namespace sim
