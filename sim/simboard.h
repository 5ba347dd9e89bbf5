#pragma once

// The virtual board: boot ROM (auto-baud, boot-stream reader), then either
// the shipped FLASH loader or the demo monitor for any other application.
// No I/O of its own: bytes come in through receive(), go out through an
// output queue that the runner drains (paced or not).

#include "boardio.h"
#include "bootstream.h"
#include "flashloader.h"
#include "monitor.h"
#include "norflash.h"
#include "simimages.h"
#include "simoptions.h"

#include <chrono>
#include <deque>

namespace sim {

constexpr std::uint8_t kAutoBaudReply = 0xBF;
constexpr std::uint32_t kNominalSystemClockHz = 80000000; // SCLK the UART divisor is computed from
constexpr unsigned kUartOversampling = 16;
constexpr unsigned kFallbackBaud = 115200;                  // when the port reports no speed

struct OutChunk
{
    int pauseMsBefore = 0;
    std::vector<std::uint8_t> bytes;
};

class SimBoard : public BoardOutput
{
public:
    enum class Mode { BootRom, Stream, Halted, Loader, Application };

    SimBoard(const Options &options, NorFlash &flash, BoardReports reports);

    void receive(std::uint8_t byte);
    // The time now, at least a few times a second: what the board does
    // without a byte from the host (give up on a silent host).
    void tick(std::chrono::steady_clock::time_point now);
    // Back to the boot ROM; FLASH contents are kept. A board strapped for
    // FLASH boot then runs the application it finds there.
    void reset(const std::string &cause, bool mayBootFlash = true);
    // The baud rate the host set on its port, for the auto-baud answer.
    void setHostBaud(unsigned bps) { hostBaud = bps; }

    Mode mode() const { return current; }
    bool hasOutput() const { return !queue.empty(); }
    OutChunk takeOutput();

    using BoardOutput::send;
    void send(const std::uint8_t *data, std::size_t count, int pauseMsBefore) override;

    // DLL, DLH: the UART divisor for a baud rate at the nominal system clock.
    static std::uint16_t uartDivisor(unsigned bps);

private:
    void autoBaud();
    void streamByte(std::uint8_t byte);
    void streamComplete();
    bool bootFromFlash();

    const Options &options;
    NorFlash &flash;
    BoardReports reports;
    FlashLoader loader;
    Monitor monitor;
    Mode current = Mode::BootRom;
    bootstream::Reader reader;
    std::vector<std::uint8_t> received; // the boot stream so far
    unsigned hostBaud = 0;
    long long sentSinceReset = 0;
    bool muted = false;
    bool freshFromFlash = false; // booted from FLASH, nothing received since
    std::deque<OutChunk> queue;
};

} // namespace sim
