#pragma once

// The board's side of the file transfers of the demo monitor: it announces a
// file with the marker 0xFF and sends it by XMODEM, asks for one with the
// marker 0xFE and receives it, or sends by plain XMODEM to a host that starts
// receiving on its own (X-Rx). Byte-driven: the monitor hands it every
// received byte while a transfer runs, and the time so that a silent host is
// given up on.

#include "boardio.h"

#include <chrono>
#include <string>
#include <vector>

namespace sim {

constexpr std::uint8_t kSendsFileMarker = 0xFF;
constexpr std::uint8_t kRequestsFileMarker = 0xFE;
// A transfer the host stopped answering is given up after this long.
constexpr int kTransferIdleLimitMs = 3000;
// A plain XMODEM send waits this long for the user to start receiving.
constexpr int kPlainSendStartLimitMs = 60000;

class BoardTransfer
{
public:
    BoardTransfer(BoardOutput &out, const BoardReports &reports);

    // Announces `name` and sends `data` once the host accepts.
    void startSending(const std::string &name, std::vector<std::uint8_t> data);
    // Asks the host for `name`.
    void startRequest(const std::string &name);
    // Sends `data` by XMODEM alone, once the host asks with "C" or NAK.
    void startPlainSending(std::vector<std::uint8_t> data);

    bool active() const { return state != State::Idle; }
    // True when the host has been silent so long that the transfer is dead.
    bool stale(std::chrono::steady_clock::time_point now) const;
    // Ends a stale transfer; the line that tells the user why.
    std::string abandon();
    // Takes one byte from the host; the report line when the transfer ended.
    std::string receive(std::uint8_t byte);

    const std::vector<std::uint8_t> &received() const { return data; }

private:
    enum class State {
        Idle,
        // sending a file
        WaitMarkerAck, WaitHeaderAck, WaitStart, WaitBlockAck, WaitEotAck, WaitClosingCan,
        // asking for a file
        WaitRequestAck, WaitNameAck, WaitSizeLine, Receiving,
    };

    void sendBlock();
    std::string finish(const std::string &report);
    std::string receivePacketByte(std::uint8_t byte);

    BoardOutput &out;
    const BoardReports &reports;
    State state = State::Idle;
    std::string fileName;
    std::vector<std::uint8_t> data;    // what is sent, or what has come
    std::size_t offset = 0;            // next byte to send
    std::uint8_t blockNumber = 1;
    bool crcMode = true;
    bool plain = false;                // no handshake before, no closing CANs after
    bool cancelSeen = false;
    int closingCans = 0;
    std::string sizeLine;
    long announcedSize = 0;
    std::vector<std::uint8_t> packet;
    std::chrono::steady_clock::time_point lastByte;
};

} // namespace sim
