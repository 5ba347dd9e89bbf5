#pragma once

// The small monitor that the virtual board runs after booting an application
// image: banner, prompt, and a table of commands that exercise every feature
// of the program's terminal. It does not echo what is typed (the terminal
// shows typed keys itself) unless asked to, as older firmware did.

#include "boardio.h"
#include "boardtransfer.h"

#include <chrono>
#include <string>

namespace sim {

constexpr std::uint8_t kHtmlChunkMarker = 0xBB;
constexpr int kChunkGapMs = 300;        // longer than the terminal's 100 ms poll, so chunks stay apart
constexpr int kProgressStepMs = 250;
constexpr int kProgressSteps = 10;
constexpr int kBurstLines = 400;
constexpr std::size_t kMonitorLineBytes = 128;
constexpr long kDefaultSendBytes = 300;
constexpr long kDefaultXmodemSendBytes = 1024;
constexpr long kMaxSendBytes = 1L << 20;

class Monitor
{
public:
    Monitor(BoardOutput &out, const BoardReports &reports);

    // The image has just been booted: show the banner and the first prompt.
    void start(const std::string &bootedWhat, bool echo);
    void receive(std::uint8_t byte);
    // The time now: a transfer whose host fell silent is given up.
    void tick(std::chrono::steady_clock::time_point now);

    // One command: its name as typed (any case), one line of help, and what it does.
    struct Command
    {
        const char *name;
        const char *help;
        void (Monitor::*run)(const std::string &argument);
    };

private:
    void execute(const std::string &line);
    void prompt(int pauseMsBefore = 0);
    void help(const std::string &argument);
    void progress(const std::string &argument);
    void html(const std::string &argument);
    void burst(const std::string &argument);
    void echoLine(const std::string &argument);
    void sendFile(const std::string &argument);
    void xmodemSend(const std::string &argument);
    void getFile(const std::string &argument);
    void eeprom(const std::string &argument);

    static const Command commands[];

    BoardOutput &out;
    const BoardReports &reports;
    bool echoTyped = false;
    std::string line;          // typed so far
    std::uint8_t lastByte = 0; // to take CR LF as one line end
    BoardTransfer transfer;    // a file transfer the monitor started
    // The board's settings, as the last EEPROM command wrote them.
    std::string eepromText = "BAUD=4 PARITY=0 STOP=1 ECHO=0 FLOW=0 DELAY=500 LED=50 WATCHDOG=1 NAME=demo";
};

} // namespace sim
