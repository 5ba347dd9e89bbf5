#include "boardtransfer.h"

#include "crc16.h"

#include <cstdio>
#include <cstdlib>

namespace sim {

namespace {

constexpr std::uint8_t kSoh = 0x01;
constexpr std::uint8_t kEot = 0x04;
constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kBel = 0x07;
constexpr std::uint8_t kNak = 0x15;
constexpr std::uint8_t kCan = 0x18;
constexpr std::uint8_t kCtrlZ = 0x1A;
constexpr std::uint8_t kEscape = 0x1B;
constexpr std::uint8_t kCrcRequest = 'C';
constexpr std::size_t kBlockBytes = 128;
constexpr std::size_t kCrcPacketBytes = kBlockBytes + 5;
constexpr int kClosingCanCount = 5;
constexpr int kMarkerGapMs = 300; // the marker must reach the host as a chunk of its own

} // namespace

BoardTransfer::BoardTransfer(BoardOutput &o, const BoardReports &r) : out(o), reports(r) {}

void BoardTransfer::startSending(const std::string &name, std::vector<std::uint8_t> bytes)
{
    fileName = name;
    data = std::move(bytes);
    offset = 0;
    blockNumber = 1;
    cancelSeen = false;
    closingCans = 0;
    plain = false;
    state = State::WaitMarkerAck;
    lastByte = std::chrono::steady_clock::now();
    if (reports.trace)
        reports.trace("transfer send name=" + name + " size=" + std::to_string(data.size()));
    out.send(&kSendsFileMarker, 1, kMarkerGapMs);
}

void BoardTransfer::startPlainSending(std::vector<std::uint8_t> bytes)
{
    fileName.clear();
    data = std::move(bytes);
    offset = 0;
    blockNumber = 1;
    cancelSeen = false;
    plain = true;
    state = State::WaitStart;
    lastByte = std::chrono::steady_clock::now();
    if (reports.trace)
        reports.trace("transfer xmodem size=" + std::to_string(data.size()));
}

void BoardTransfer::startRequest(const std::string &name)
{
    fileName = name;
    data.clear();
    sizeLine.clear();
    packet.clear();
    blockNumber = 1;
    plain = false;
    state = State::WaitRequestAck;
    lastByte = std::chrono::steady_clock::now();
    if (reports.trace)
        reports.trace("transfer request name=" + name);
    out.send(&kRequestsFileMarker, 1, kMarkerGapMs);
}

bool BoardTransfer::stale(std::chrono::steady_clock::time_point now) const
{
    const int limitMs = plain && state == State::WaitStart ? kPlainSendStartLimitMs : kTransferIdleLimitMs;
    return active() && now - lastByte > std::chrono::milliseconds(limitMs);
}

std::string BoardTransfer::abandon()
{
    std::string why = "Transfer given up: the PC stopped answering.";
    if (plain && state == State::WaitStart)
        why = "Transfer given up: nobody started receiving (X-Rx) within "
            + std::to_string(kPlainSendStartLimitMs / 1000) + " s.";
    else if (state == State::WaitNameAck)
        why = "Transfer given up: the PC sent nothing for " + fileName + " (it has no such file, or refused the name).";
    if (reports.trace)
        reports.trace("transfer abandoned");
    state = State::Idle;
    return why;
}

std::string BoardTransfer::finish(const std::string &report)
{
    state = State::Idle;
    if (reports.trace)
        reports.trace("transfer end " + report);
    return report;
}

void BoardTransfer::sendBlock()
{
    std::vector<std::uint8_t> block(kBlockBytes, kCtrlZ);
    for (std::size_t i = 0; i < kBlockBytes && offset + i < data.size(); ++i)
        block[i] = data[offset + i];
    std::vector<std::uint8_t> frame;
    frame.reserve(kCrcPacketBytes);
    frame.push_back(kSoh);
    frame.push_back(blockNumber);
    frame.push_back(std::uint8_t(~blockNumber));
    for (std::uint8_t b : block)
        frame.push_back(b);
    if (crcMode) {
        const std::uint16_t crc = crc16(block.data(), int(block.size()));
        frame.push_back(std::uint8_t(crc >> 8));
        frame.push_back(std::uint8_t(crc & 0xFF));
    } else {
        unsigned sum = 0;
        for (std::uint8_t b : block)
            sum += b;
        frame.push_back(std::uint8_t(sum & 0xFF));
    }
    out.send(frame.data(), frame.size(), 0);
}

std::string BoardTransfer::receive(std::uint8_t byte)
{
    lastByte = std::chrono::steady_clock::now();
    switch (state) {
    case State::Idle:
        return std::string();
    case State::WaitMarkerAck:
        if (byte == kAck) {
            const std::string header = fileName + "," + std::to_string(data.size()) + "\n";
            out.send(header);
            state = State::WaitHeaderAck;
        }
        return std::string();
    case State::WaitHeaderAck:
        if (byte == kBel)
            return finish("refused by the host");
        if (byte == kAck)
            state = State::WaitStart;
        return std::string();
    case State::WaitStart:
        if (plain && (byte == kCan || byte == kEscape))
            return finish("XMODEM send cancelled");
        if (byte == kCrcRequest || byte == kNak) {
            crcMode = byte == kCrcRequest;
            state = State::WaitBlockAck;
            sendBlock();
        }
        return std::string();
    case State::WaitBlockAck:
        if (byte == kCan) {
            if (cancelSeen)
                return finish("cancelled by the host");
            cancelSeen = true;
            return std::string();
        }
        cancelSeen = false;
        if (byte == kNak) {
            sendBlock();
        } else if (byte == kAck) {
            offset += kBlockBytes;
            blockNumber = std::uint8_t(blockNumber + 1);
            if (offset < data.size()) {
                sendBlock();
            } else {
                out.sendByte(kEot);
                state = State::WaitEotAck;
            }
        }
        return std::string();
    case State::WaitEotAck:
        if (byte == kAck && plain)
            return finish("sent " + std::to_string(data.size()) + " bytes by XMODEM");
        if (byte == kAck)
            state = State::WaitClosingCan;
        else
            out.sendByte(kEot);
        return std::string();
    case State::WaitClosingCan:
        if (byte == kCan && ++closingCans < kClosingCanCount)
            return std::string();
        return finish("sent " + fileName + ": " + std::to_string(data.size()) + " bytes");
    case State::WaitRequestAck:
        if (byte == kAck) {
            out.send(fileName + "\n");
            state = State::WaitNameAck;
        }
        return std::string();
    case State::WaitNameAck:
        if (byte == kAck)
            state = State::WaitSizeLine;
        return std::string();
    case State::WaitSizeLine:
        if (byte != '\n') {
            sizeLine.push_back(char(byte));
            return std::string();
        }
        announcedSize = std::atol(sizeLine.c_str());
        out.sendByte(kAck);
        out.sendByte(kCrcRequest);
        state = State::Receiving;
        return std::string();
    case State::Receiving:
        return receivePacketByte(byte);
    }
    return std::string();
}

std::string BoardTransfer::receivePacketByte(std::uint8_t byte)
{
    if (packet.empty() && byte == kEot) {
        out.sendByte(kAck);
        // The host pads to whole blocks; the size it announced says what is the file.
        if (announcedSize >= 0 && std::size_t(announcedSize) <= data.size())
            data.resize(std::size_t(announcedSize));
        char text[160];
        std::snprintf(text, sizeof text, "received %s: %zu bytes (announced %ld)", fileName.c_str(), data.size(),
                      announcedSize);
        return finish(text);
    }
    if (packet.empty() && byte != kSoh)
        return std::string();
    packet.push_back(byte);
    if (packet.size() < kCrcPacketBytes)
        return std::string();
    const std::uint8_t *block = packet.data() + 3;
    const std::uint16_t crc = crc16(block, int(kBlockBytes));
    const bool good = packet[1] == std::uint8_t(~packet[2])
        && packet[kCrcPacketBytes - 2] == std::uint8_t(crc >> 8) && packet[kCrcPacketBytes - 1] == std::uint8_t(crc & 0xFF);
    if (good && packet[1] == blockNumber) {
        data.insert(data.end(), block, block + kBlockBytes);
        blockNumber = std::uint8_t(blockNumber + 1);
    }
    packet.clear();
    out.sendByte(good ? kAck : kNak);
    return std::string();
}

} // namespace sim
